#include "ui/ExternalProgramsTab.h"

#include "app/Application.h"
#include "core/ProgramPaths.h"
#include "launcher/ProgramEntry.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kestrelon {

namespace {

// A row as high as its check box or its text, whichever is taller, with a little air.
int rowHeight(const QWidget* widget)
{
    return std::max(widget->fontMetrics().height(),
                    widget->style()->pixelMetric(QStyle::PM_IndicatorHeight)) +
           6;
}

} // namespace

ExternalProgramsTab::ExternalProgramsTab(Application& app, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_app(app), m_prompts(prompts), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsExternalPrograms");
    auto* intro = new QLabel("Kestrelon will start the following checked programs:", this);
    auto* heading = named(new QLabel("Start", this), "lblStart");
    CheckListBox1 = named(new QListWidget(this), "CheckListBox1");
    CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    CheckListBox1->setUniformItemSizes(true);
    CheckListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    CheckListBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Room for four rows and the horizontal scroll bar, no more: the list never grows.
    CheckListBox1->setFixedHeight(ExternalPrograms::kMaxPrograms * rowHeight(CheckListBox1) +
                                  2 * CheckListBox1->frameWidth() +
                                  style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    CheckListBox1->viewport()->installEventFilter(this);

    btnAddProg = named(new QPushButton("Add", this), "btnAddProg");
    btnRemoveProg = named(new QPushButton("Remove", this), "btnRemoveProg");
    btnCmdLine = named(new QPushButton("Cmd Line", this), "btnCmdLine");
    btnStartProg = named(new QPushButton("Start Now", this), "btnStartProg");
    cbClose = named(new QCheckBox("Close all programs on exit", this), "cbClose");

    auto* listColumn = new QVBoxLayout;
    listColumn->setSpacing(2);
    listColumn->addWidget(heading);
    listColumn->addWidget(CheckListBox1);
    listColumn->addStretch();
    auto* buttons = new QVBoxLayout;
    // The buttons start level with the list, below its heading.
    buttons->addSpacing(heading->sizeHint().height() + listColumn->spacing());
    for (QPushButton* button : {btnAddProg, btnRemoveProg, btnCmdLine, btnStartProg}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addLayout(listColumn, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(row);
    layout->addWidget(cbClose);
    // The free room goes below everything, not between the heading and its list.
    layout->addStretch(1);

    m_binder->bind(cbClose, &Settings::WebServe, &WebServeSettings::Close);

    connect(btnAddProg, &QPushButton::clicked, this, &ExternalProgramsTab::btnAddProgClick);
    connect(btnRemoveProg, &QPushButton::clicked, this, &ExternalProgramsTab::btnRemoveProgClick);
    connect(btnCmdLine, &QPushButton::clicked, this, &ExternalProgramsTab::btnCmdLineClick);
    connect(btnStartProg, &QPushButton::clicked, this, &ExternalProgramsTab::btnStartProgClick);
    connect(CheckListBox1, &QListWidget::currentRowChanged, this, &ExternalProgramsTab::updateButtons);
    connect(CheckListBox1, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        m_app.externalPrograms().setChecked(CheckListBox1->row(item), item->checkState() == Qt::Checked);
    });
    connect(&app.settings(), &SettingsModel::changed, this, [this] {
        m_binder->load();
        loadList();
    });

    m_binder->load();
    loadList();
}

void ExternalProgramsTab::btnAddProgClick()
{
    const QString path =
        m_prompts.openFile(this, QString::fromStdString(executableDir()), "All files (*)", QString());
    if (m_app.externalPrograms().btnAddProgClick(path.toStdString()) ==
        ExternalPrograms::AddResult::OwnExecutable) {
        QApplication::beep();
        m_prompts.message(this, ExternalPrograms::kOwnInstanceMessage);
    }
    // The model's change has reloaded the list; the buttons follow the new count.
    updateButtons();
}

void ExternalProgramsTab::btnRemoveProgClick()
{
    const int row = CheckListBox1->currentRow();
    if (row < 0) {
        return;
    }
    m_app.externalPrograms().btnRemoveProgClick(row);
    CheckListBox1->setCurrentRow(-1);
    updateButtons();
}

void ExternalProgramsTab::btnCmdLineClick()
{
    const int row = CheckListBox1->currentRow();
    ExternalPrograms& programs = m_app.externalPrograms();
    if (!programs.hasExecutable(row)) {
        return;
    }
    const QString initial = QString::fromStdString(programs.arguments(row));
    const QString answer = m_prompts.inputText(this, "Command Line:", QString(), initial);
    programs.btnCmdLineClick(row, answer.toStdString());
}

void ExternalProgramsTab::btnStartProgClick()
{
    m_app.externalPrograms().btnStartProgClick(CheckListBox1->currentRow());
}

void ExternalProgramsTab::AdjustCheckListBox()
{
    std::vector<std::string> texts;
    // The rule's 6 pixels per character, or more where this font's characters are wider, so no
    // path is cut short.
    int charWidth = 6;
    const QFontMetrics metrics = CheckListBox1->fontMetrics();
    for (int i = 0; i < CheckListBox1->count(); ++i) {
        const QString text = CheckListBox1->item(i)->text();
        texts.push_back(text.toStdString());
        if (!text.isEmpty()) {
            const double perChar = double(metrics.horizontalAdvance(text)) / text.size();
            charWidth = std::max(charWidth, int(std::ceil(perChar)));
        }
    }
    const int width = kestrelon::AdjustCheckListBox(texts, CheckListBox1->viewport()->width(), charWidth);
    for (int i = 0; i < CheckListBox1->count(); ++i) {
        QListWidgetItem* item = CheckListBox1->item(i);
        if (item->sizeHint().width() != width) {
            item->setSizeHint(QSize(width, item->sizeHint().height()));
        }
    }
}

bool ExternalProgramsTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == CheckListBox1->viewport() && event->type() == QEvent::Resize) {
        AdjustCheckListBox();
    }
    return QWidget::eventFilter(watched, event);
}

void ExternalProgramsTab::loadList()
{
    const std::vector<CheckedEntry> entries = m_app.externalPrograms().entries();
    bool same = CheckListBox1->count() == static_cast<int>(entries.size());
    for (int i = 0; same && i < CheckListBox1->count(); ++i) {
        const QListWidgetItem* item = CheckListBox1->item(i);
        same = item->text().toStdString() == entries[static_cast<size_t>(i)].text &&
               (item->checkState() == Qt::Checked) == entries[static_cast<size_t>(i)].checked;
    }
    if (!same) {
        const int selected = CheckListBox1->currentRow();
        const int height = rowHeight(CheckListBox1);
        QSignalBlocker block(CheckListBox1);
        CheckListBox1->clear();
        for (const CheckedEntry& entry : entries) {
            auto* item = new QListWidgetItem(QString::fromStdString(entry.text));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(entry.checked ? Qt::Checked : Qt::Unchecked);
            item->setSizeHint(QSize(0, height));
            CheckListBox1->addItem(item);
        }
        // An edited entry keeps its selection; a removed last one loses it.
        CheckListBox1->setCurrentRow(selected < CheckListBox1->count() ? selected : -1);
        AdjustCheckListBox();
    }
    updateButtons();
}

void ExternalProgramsTab::updateButtons()
{
    ExternalPrograms& programs = m_app.externalPrograms();
    const int row = CheckListBox1->currentRow();
    btnAddProg->setEnabled(programs.canAdd());
    btnRemoveProg->setEnabled(row >= 0);
    btnCmdLine->setEnabled(programs.hasExecutable(row));
    btnStartProg->setEnabled(row >= 0);
}

} // namespace kestrelon
