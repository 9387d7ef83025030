#include "ui/TemplateFilesTab.h"

#include "app/Application.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"
#include "ui/TemplatePairDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>

namespace kestrelon {

namespace {

// A heading over its list, the two together one side of the splitter.
QWidget* headed(const QString& heading, QListWidget* list, QWidget* parent)
{
    auto* side = new QWidget(parent);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(heading, side));
    layout->addWidget(list, 1);
    return side;
}

} // namespace

TemplateFilesTab::TemplateFilesTab(Application& app, Prompts& prompts, PairKind kind, QWidget* parent)
    : QWidget(parent), m_kind(kind), m_app(app), m_binder(new SettingsBinder(app.settings(), this))
{
    const bool local = kind == PairKind::Local;
    setObjectName(local ? "tsLocalFiles" : "tsRemoteFiles");
    splitter = named(new QSplitter(Qt::Horizontal, this), local ? "Splitter2" : "Splitter3");
    templates = named(new QListWidget(splitter), local ? "ListBox2" : "ListBox3");
    targets = named(new QListWidget(splitter), local ? "CheckListBox2" : "CheckListBox3");
    splitter->addWidget(headed("Template", templates, splitter));
    splitter->addWidget(headed(local ? "Local File" : "Remote File", targets, splitter));
    splitter->setChildrenCollapsible(false);
    btnAdd = named(new QPushButton("Add", this), local ? "Button1" : "Button3");
    btnEdit = named(new QPushButton("Edit", this), local ? "btnLocalEdit" : "btnRemoteEdit");
    btnRemove = named(new QPushButton("Remove", this), local ? "Button2" : "Button4");
    cbConfirm = named(new QCheckBox("Confirm files before refresh", this),
                      local ? "cbConfirmLocal" : "cbConfirmRemote");
    cbConfirm->setToolTip("Every file of the list must be ticked before IP-Refresh runs");
    dialog = new TemplatePairDialog(kind, app.settings(), prompts, this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnRemove);
    buttons->addStretch(1);
    buttons->addWidget(cbConfirm);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    m_binder->bind(cbConfirm, &Settings::FTP,
                   local ? &FTPSettings::ConfirmLocal : &FTPSettings::ConfirmRemote);
    connect(&app.settings(), &SettingsModel::changed, this, [this] {
        m_binder->load();
        loadLists();
    });
    connect(btnAdd, &QPushButton::clicked, this, &TemplateFilesTab::addClick);
    connect(btnEdit, &QPushButton::clicked, this, &TemplateFilesTab::editClick);
    connect(btnRemove, &QPushButton::clicked, this, &TemplateFilesTab::removeClick);
    connect(templates, &QListWidget::currentRowChanged, this, &TemplateFilesTab::selectRow);
    connect(targets, &QListWidget::currentRowChanged, this, &TemplateFilesTab::selectRow);
    connect(targets, &QListWidget::itemChanged, this, &TemplateFilesTab::targetChanged);
    connect(dialog, &QDialog::accepted, this, [this] {
        templates->scrollToBottom();
        targets->scrollToBottom();
    });
    loadLists();
}

void TemplateFilesTab::loadLists()
{
    auto s = m_app.settings().snapshot();
    const std::vector<TemplatePair>& list =
        m_kind == PairKind::Local ? s->localTemplates : s->remoteTemplates;
    bool same = templates->count() == static_cast<int>(list.size());
    for (int i = 0; same && i < templates->count(); ++i) {
        const TemplatePair& pair = list[static_cast<size_t>(i)];
        same = templates->item(i)->text().toStdString() == pair.templateFile &&
               targets->item(i)->text().toStdString() == pair.outputFile &&
               (targets->item(i)->checkState() == Qt::Checked) == pair.checked;
    }
    if (same) {
        return;
    }
    const int row = templates->currentRow();
    QSignalBlocker blockTemplates(templates);
    QSignalBlocker blockTargets(targets);
    templates->clear();
    targets->clear();
    for (const TemplatePair& pair : list) {
        templates->addItem(QString::fromStdString(pair.templateFile));
        auto* item = new QListWidgetItem(QString::fromStdString(pair.outputFile), targets);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(pair.checked ? Qt::Checked : Qt::Unchecked);
    }
    if (row >= 0 && row < templates->count()) {
        templates->setCurrentRow(row);
        targets->setCurrentRow(row);
    }
}

void TemplateFilesTab::selectRow(int row)
{
    QSignalBlocker blockTemplates(templates);
    QSignalBlocker blockTargets(targets);
    templates->setCurrentRow(row);
    targets->setCurrentRow(row);
}

void TemplateFilesTab::targetChanged(QListWidgetItem* item)
{
    const size_t row = static_cast<size_t>(targets->row(item));
    const bool checked = item->checkState() == Qt::Checked;
    m_app.settings().update([&](Settings& s) {
        auto& list = m_kind == PairKind::Local ? s.localTemplates : s.remoteTemplates;
        if (row < list.size()) {
            list[row].checked = checked;
        }
    });
}

void TemplateFilesTab::addClick()
{
    dialog->showFor(-1);
}

void TemplateFilesTab::editClick()
{
    if (templates->currentRow() >= 0) {
        dialog->showFor(templates->currentRow());
    }
}

void TemplateFilesTab::removeClick()
{
    const int row = templates->currentRow();
    if (row < 0) {
        return;
    }
    m_app.settings().update([&](Settings& s) {
        removePair(m_kind == PairKind::Local ? s.localTemplates : s.remoteTemplates, row);
    });
}

} // namespace kestrelon
