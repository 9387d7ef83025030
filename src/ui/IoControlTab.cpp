#include "ui/IoControlTab.h"

#include "app/Application.h"
#include "ui/Named.h"
#include "ui/ScheduleDialog.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace kestrelon {

namespace {

// Where "Add item to schedule" opens, from the main window's top-left corner.
constexpr QPoint kDialogOffset(150, 100);

QListWidget* makeList(QWidget* parent, const char* name)
{
    auto* list = named(new QListWidget(parent), name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return list;
}

} // namespace

IoControlTab::IoControlTab(Application& app, QWidget* parent)
    : QWidget(parent), m_app(app), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsIOControl");
    tabs = named(new QTabWidget(this), "IOControlTabs");
    tabs->addTab(makeConfigureTab(), "Configure");
    tabs->addTab(makeScheduleTab(), "Schedule ");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs);
    // Made with the window and kept, so it remembers its last choices.
    Form6 = new ScheduleDialog(this);

    m_binder->bind(cbIOControl, &Settings::WebServe, &WebServeSettings::IO);
    m_binder->bind(cboxAddress, &Settings::WebServe, &WebServeSettings::IOAddress);
    m_binder->bind(Edit2, &Settings::WebServe, &WebServeSettings::PortValue);
    m_binder->bind(cbSendValue, &Settings::WebServe, &WebServeSettings::SendValue);
    m_binder->bind(edEscChar, &Settings::WebServe, &WebServeSettings::EscChar);
    m_binder->bind(cbRemoteDisable, &Settings::WebServe, &WebServeSettings::RemoteDisable);
    m_binder->bind(edRemoteDisable, &Settings::WebServe, &WebServeSettings::RemotePass);
    m_binder->bind(cbRemotePass, &Settings::WebServe, &WebServeSettings::RemRemotePass);
    m_binder->bind(cbSchedule, &Settings::IO, &IOSettings::Schedule);

    connect(Button10, &QPushButton::clicked, this, &IoControlTab::Button10Click);
    connect(Button13, &QPushButton::clicked, this, &IoControlTab::Button13Click);
    connect(Button15, &QPushButton::clicked, this, &IoControlTab::Button15Click);
    connect(cbSchedule, &QCheckBox::clicked, this, &IoControlTab::cbScheduleClick);
    connect(ListBox7, &QListWidget::currentRowChanged, this, &IoControlTab::ListBox7Click);
    connect(CheckListBox7, &QListWidget::currentRowChanged, this, &IoControlTab::CheckListBox7Click);
    connect(CheckListBox7, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        CheckListBox7ItemChanged(CheckListBox7->row(item), item->checkState() == Qt::Checked);
    });
    // The two lists scroll as one, so a value stays beside its time.
    connect(CheckListBox7->verticalScrollBar(), &QScrollBar::valueChanged, ListBox7->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(ListBox7->verticalScrollBar(), &QScrollBar::valueChanged, CheckListBox7->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(Form6, &QDialog::accepted, this, &IoControlTab::Form6Accepted);
    TabSheet23->installEventFilter(this);

    // The switch may go off from a request thread (remote disable); the model's notice and the
    // I/O control's state change both arrive here on the main thread.
    connect(&app.settings(), &SettingsModel::changed, this, &IoControlTab::settingsChanged);
    connect(&app.ioControl(), &IoControl::stateChanged, this, &IoControlTab::ioStateChanged);

    loadSchedule();
    selectRow(-1);
    ioStateChanged();
}

QWidget* IoControlTab::makeConfigureTab()
{
    auto* tab = named(new QWidget, "tsConfigure");

    auto* portBox = named(new QGroupBox("Port", tab), "gbPort");
    cbIOControl = named(new QCheckBox("Enable I/O control", portBox), "cbIOControl");
    cboxAddress = named(new QComboBox(portBox), "cboxAddress");
    cboxAddress->setEditable(true);
    cboxAddress->setInsertPolicy(QComboBox::NoInsert);
    cboxAddress->addItems({"0378H (LPT1)", "0278H (LPT2)"});
    cboxAddress->setMinimumContentsLength(14);
    Label78 = named(new QLabel(portBox), "Label78");
    Edit2 = named(new QLineEdit(portBox), "Edit2");
    Edit2->setMaxLength(3);
    Edit2->setMaximumWidth(50);
    Button10 = named(new QPushButton("Send Now", portBox), "Button10");
    cbSendValue = named(new QCheckBox("Send at startup", portBox), "cbSendValue");
    auto* port = new QGridLayout(portBox);
    port->addWidget(cbIOControl, 0, 0, 1, 4);
    port->addWidget(new QLabel("Port Address", portBox), 1, 0);
    port->addWidget(cboxAddress, 1, 1, 1, 2);
    port->addWidget(Label78, 1, 3);
    port->addWidget(new QLabel("Value", portBox), 2, 0);
    port->addWidget(Edit2, 2, 1);
    auto* send = new QHBoxLayout;
    send->addWidget(Button10);
    send->addWidget(cbSendValue);
    send->addStretch();
    port->addLayout(send, 2, 2, 1, 2);
    port->setColumnStretch(3, 1);

    auto* webBox = named(new QGroupBox("Control by URL", tab), "gbWebControl");
    edEscChar = named(new QLineEdit(webBox), "edEscChar");
    edEscChar->setMaximumWidth(50);
    cbRemoteDisable =
        named(new QCheckBox("Allow I/O control to be disabled remotely", webBox), "cbRemoteDisable");
    edRemoteDisable = named(new QLineEdit(webBox), "edRemoteDisable");
    edRemoteDisable->setEchoMode(QLineEdit::Password);
    cbRemotePass = named(new QCheckBox("Remember password", webBox), "cbRemotePass");
    auto* web = new QGridLayout(webBox);
    web->addWidget(new QLabel("Trigger Char", webBox), 0, 0);
    web->addWidget(edEscChar, 0, 1, Qt::AlignLeft);
    web->addWidget(cbRemoteDisable, 1, 0, 1, 3);
    web->addWidget(new QLabel("Password", webBox), 2, 0);
    web->addWidget(edRemoteDisable, 2, 1);
    web->addWidget(cbRemotePass, 2, 2);
    web->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(portBox);
    layout->addWidget(webBox);
    layout->addStretch();
    return tab;
}

QWidget* IoControlTab::makeScheduleTab()
{
    TabSheet23 = named(new QWidget, "TabSheet23");
    Panel63 = named(new QWidget(TabSheet23), "Panel63");
    cbSchedule = named(new QCheckBox("Enable schedule", Panel63), "cbSchedule");
    CheckListBox7 = makeList(Panel63, "CheckListBox7");
    ListBox7 = makeList(Panel63, "ListBox7");
    Button13 = named(new QPushButton("Add", Panel63), "Button13");
    Button15 = named(new QPushButton("Remove", Panel63), "Button15");

    auto* lists = new QGridLayout;
    lists->setHorizontalSpacing(2);
    lists->addWidget(new QLabel("Time", Panel63), 0, 0);
    lists->addWidget(new QLabel("Value", Panel63), 0, 1);
    lists->addWidget(CheckListBox7, 1, 0);
    lists->addWidget(ListBox7, 1, 1);
    lists->setColumnStretch(0, 2);
    lists->setColumnStretch(1, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addSpacing(cbSchedule->sizeHint().height());
    buttons->addWidget(Button13);
    buttons->addWidget(Button15);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addLayout(lists, 1);
    row->addLayout(buttons);
    auto* panel = new QVBoxLayout(Panel63);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(cbSchedule);
    panel->addLayout(row, 1);

    auto* layout = new QVBoxLayout(TabSheet23);
    layout->addWidget(Panel63);
    return TabSheet23;
}

bool IoControlTab::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TabSheet23 && event->type() == QEvent::Show) {
        TabSheet23Show();
    }
    return QWidget::eventFilter(watched, event);
}

void IoControlTab::Button10Click()
{
    m_app.ioControl().Button10Click();
}

void IoControlTab::Button13Click()
{
    Form6->move(window()->pos() + kDialogOffset);
    // open() is modal for the window and returns at once; the entry is added on OK.
    Form6->open();
}

void IoControlTab::Form6Accepted()
{
    m_app.schedule().addEntry(Form6->entry());
}

void IoControlTab::Button15Click()
{
    const int row = CheckListBox7->currentRow();
    if (row < 0) {
        return;
    }
    m_app.schedule().removeEntry(row);
    selectRow(-1);
}

void IoControlTab::cbScheduleClick()
{
    // The box has written its state already; the timer runs whichever way it went.
    m_app.schedule().start();
}

void IoControlTab::ListBox7Click(int row)
{
    selectRow(row);
}

void IoControlTab::CheckListBox7Click(int row)
{
    selectRow(row);
}

void IoControlTab::TabSheet23Show()
{
    const bool io = m_app.settings().snapshot()->WebServe.IO;
    Panel63->setEnabled(io);
    if (!io) {
        // Through the binder, so the model has it too.
        cbSchedule->setChecked(false);
    }
}

void IoControlTab::CheckListBox7ItemChanged(int row, bool checked)
{
    m_app.schedule().setEntryActive(row, checked);
}

void IoControlTab::selectRow(int row)
{
    for (QListWidget* list : {CheckListBox7, ListBox7}) {
        QSignalBlocker block(list);
        if (row < 0) {
            list->setCurrentRow(-1);
            list->clearSelection();
        } else {
            list->setCurrentRow(row);
        }
    }
    Button15->setEnabled(row >= 0 && row < CheckListBox7->count());
}

void IoControlTab::ioStateChanged()
{
    const bool io = m_app.settings().snapshot()->WebServe.IO;
    const IoControl& control = m_app.ioControl();
    Label78->setText(QString::fromStdString(control.statusText()) +
                     (control.noPortPresent() ? IoControl::kNoPortNote : ""));
    cboxAddress->setEnabled(io);
    Panel63->setEnabled(io);
}

void IoControlTab::settingsChanged()
{
    m_binder->load();
    loadSchedule();
    ioStateChanged();
}

void IoControlTab::loadSchedule()
{
    const auto settings = m_app.settings().snapshot();
    const std::vector<ScheduleEntry>& entries = settings->schedule;
    auto shown = [this](int row) {
        QListWidgetItem* time = CheckListBox7->item(row);
        return ScheduleEntry{time->text().toStdString(), ListBox7->item(row)->text().toStdString(),
                             time->checkState() == Qt::Checked};
    };
    bool same = CheckListBox7->count() == static_cast<int>(entries.size()) &&
                ListBox7->count() == CheckListBox7->count();
    for (int i = 0; same && i < CheckListBox7->count(); ++i) {
        same = shown(i) == entries[static_cast<size_t>(i)];
    }
    if (same) {
        return;
    }
    // The selection stays on its entry when rows move (a one-off fired above it), and goes when
    // the entry is gone.
    std::optional<ScheduleEntry> selected;
    if (const int row = CheckListBox7->currentRow(); row >= 0 && row < ListBox7->count()) {
        selected = shown(row);
    }
    // The same height for both lists' rows, check box or not, keeps each value beside its time.
    const int rowHeight =
        std::max(CheckListBox7->fontMetrics().height(), style()->pixelMetric(QStyle::PM_IndicatorHeight)) + 4;
    int selectedRow = -1;
    {
        QSignalBlocker blockTimes(CheckListBox7);
        QSignalBlocker blockValues(ListBox7);
        CheckListBox7->clear();
        ListBox7->clear();
        for (size_t i = 0; i < entries.size(); ++i) {
            const ScheduleEntry& entry = entries[i];
            auto* time = new QListWidgetItem(QString::fromStdString(entry.time));
            time->setFlags(time->flags() | Qt::ItemIsUserCheckable);
            time->setCheckState(entry.active ? Qt::Checked : Qt::Unchecked);
            time->setSizeHint(QSize(0, rowHeight));
            CheckListBox7->addItem(time);
            auto* value = new QListWidgetItem(QString::fromStdString(entry.value));
            value->setSizeHint(QSize(0, rowHeight));
            ListBox7->addItem(value);
            if (selected && selectedRow < 0 && entry == *selected) {
                selectedRow = static_cast<int>(i);
            }
        }
    }
    selectRow(selectedRow);
}

} // namespace kestrelon
