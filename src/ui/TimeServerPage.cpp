#include "ui/TimeServerPage.h"

#include "app/Application.h"
#include "timecheck/TimeCheck.h"
#include "ui/LogView.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"
#include "ui/TimeFormatDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace kestrelon {

TimeServerPage::TimeServerPage(Application& app, Prompts& prompts, QWidget* parent)
    : SectionPage("Time Server", "ts3", parent), m_timeCheck(app.timeCheck()),
      m_binder(new SettingsBinder(app.settings(), this))
{
    cboxTimeServer = named(new QComboBox(this), "cboxTimeServer");
    cboxTimeServer->setEditable(true);
    for (const char* server : kPresetTimeServers) {
        cboxTimeServer->addItem(server);
    }
    cboxTimeServer->setMinimumContentsLength(24);
    auto* serverLabel = new QLabel("Select Server:", this);
    serverLabel->setBuddy(cboxTimeServer);

    Panel16 = named(new QLabel(this), "Panel16");
    Panel16->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel16->setAlignment(Qt::AlignCenter);
    QFont displayFont = Panel16->font();
    displayFont.setBold(true);
    displayFont.setPointSizeF(displayFont.pointSizeF() * 1.25);
    Panel16->setFont(displayFont);
    Panel16->setMinimumHeight(QFontMetrics(displayFont).height() + 14);
    Panel16->setText(m_timeCheck.timeText());
    auto* timeLabel = new QLabel("Time:", this);

    cbDaily = named(new QCheckBox("Check daily at:", this), "cbDaily");
    spDateTime = named(new QTimeEdit(this), "spDateTime");
    spDateTime->setDisplayFormat("HH:mm");
    cbAdjustClock = named(new QCheckBox("Adjust PC clock", this), "cbAdjustClock");
    btnClock = named(new QPushButton("Check Now", this), "btnClock");

    auto* top = new QGridLayout;
    top->setHorizontalSpacing(10);
    top->addWidget(serverLabel, 0, 0);
    top->addWidget(cboxTimeServer, 0, 1, 1, 2, Qt::AlignLeft);
    top->addWidget(timeLabel, 1, 0);
    top->addWidget(Panel16, 1, 1, 1, 3);
    auto* daily = new QHBoxLayout;
    daily->addWidget(cbDaily);
    daily->addWidget(spDateTime);
    daily->addSpacing(24);
    daily->addWidget(cbAdjustClock);
    daily->addStretch(1);
    daily->addWidget(btnClock);
    top->addLayout(daily, 2, 0, 1, 4);
    top->setColumnStretch(2, 1);

    gbFormat = named(new QGroupBox("Format For Time Server", this), "gbFormat");
    edFormat = named(new QLineEdit(gbFormat), "edFormat");
    btnHelp = named(new QPushButton("Help", gbFormat), "btnHelp");
    auto* formatLabel = new QLabel("Enter your preferred date and time format", gbFormat);
    formatLabel->setBuddy(edFormat);
    auto* format = new QGridLayout(gbFormat);
    format->addWidget(formatLabel, 0, 0, 1, 2);
    format->addWidget(edFormat, 1, 0);
    format->addWidget(btnHelp, 1, 1);

    Label17 = named(new QLabel(this), "Label17");
    Label17->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* last = new QHBoxLayout;
    last->addWidget(new QLabel("Time was last checked (server time):", this));
    last->addWidget(Label17, 1);
    cbAutoTime = named(new QCheckBox("Check time automatically when Kestrelon starts", this), "cbAutoTime");

    // The lines are laid out with blanks, so a fixed-pitch face keeps their columns aligned. The
    // time log is cleared, never saved.
    lbTime = new LogView(m_timeCheck.log(), prompts, {"lbTime", {}, {}, /*fixedPitch=*/true}, this);
    btnClearTimeLog = named(new QPushButton("Clear Log", this), "btnClearTimeLog");
    auto* logButtons = new QHBoxLayout;
    logButtons->addWidget(btnClearTimeLog);
    logButtons->addStretch(1);
    auto* log = new QVBoxLayout;
    log->setSpacing(2);
    log->addWidget(makeLogHeadings());
    log->addWidget(lbTime, 1);
    log->addSpacing(4);
    log->addLayout(logButtons);

    body()->setSpacing(8);
    body()->addLayout(top);
    body()->addWidget(gbFormat);
    body()->addLayout(last);
    body()->addWidget(cbAutoTime);
    body()->addLayout(log, 1);

    Form2 = new TimeFormatDialog(this);

    m_binder->bind(cboxTimeServer, &Settings::TimeServer, &TimeServerSettings::Server);
    m_binder->bind(cbDaily, &Settings::TimeServer, &TimeServerSettings::Daily);
    m_binder->bind(spDateTime, &Settings::TimeServer, &TimeServerSettings::DailyTime);
    m_binder->bind(cbAdjustClock, &Settings::TimeServer, &TimeServerSettings::PCAdjust);
    m_binder->bind(edFormat, &Settings::TimeServer, &TimeServerSettings::Format);
    m_binder->bind(Label17, &Settings::TimeServer, &TimeServerSettings::Last);
    m_binder->bind(cbAutoTime, &Settings::TimeServer, &TimeServerSettings::Auto);
    connect(&app.settings(), &SettingsModel::changed, m_binder, &SettingsBinder::load);

    connect(btnClock, &QPushButton::clicked, this, &TimeServerPage::btnClockClick);
    // After the box has written its state to the settings.
    connect(cbDaily, &QCheckBox::clicked, this, &TimeServerPage::cbDailyClick);
    connect(btnHelp, &QPushButton::clicked, this, &TimeServerPage::OverLayHelp);
    connect(btnClearTimeLog, &QPushButton::clicked, this, &TimeServerPage::btnClearTimeLogClick);

    connect(&m_timeCheck, &TimeCheck::timeTextChanged, Panel16, &QLabel::setText);
    connect(&m_timeCheck, &TimeCheck::checkFinished, this, &TimeServerPage::checkFinished);
}

QWidget* TimeServerPage::makeLogHeadings()
{
    // Over the columns of an answered line: the server time, 15 blanks, the PC time, then the
    // action after 8 more blanks, measured in the log's own font.
    const QFontMetrics metrics(lbTime->text->font());
    const QString clock = "00:00:00";
    auto* headings = new QWidget(this);
    auto* row = new QHBoxLayout(headings);
    row->setContentsMargins(
        lbTime->text->frameWidth() + static_cast<int>(lbTime->text->document()->documentMargin()), 0, 0, 0);
    row->setSpacing(0);
    auto* server = new QLabel("Server time", headings);
    server->setFixedWidth(metrics.horizontalAdvance(clock + QString(15, ' ')));
    auto* pc = new QLabel("PC clock", headings);
    pc->setFixedWidth(metrics.horizontalAdvance(clock + QString(8, ' ')));
    row->addWidget(server);
    row->addWidget(pc);
    row->addWidget(new QLabel("Action", headings), 1);
    return headings;
}

void TimeServerPage::btnClockClick()
{
    m_timeCheck.checkNow();
}

void TimeServerPage::cbDailyClick()
{
    m_timeCheck.applyDailySetting();
}

void TimeServerPage::btnClearTimeLogClick()
{
    m_timeCheck.clearLog();
    lbTime->refresh();
}

void TimeServerPage::OverLayHelp()
{
    Form2->open();
}

void TimeServerPage::checkFinished()
{
    // Why a check found no time, for a look over its line.
    if (const std::string& why = m_timeCheck.lastError(); !why.empty()) {
        lbTime->setNote(m_timeCheck.log().position(), QString::fromStdString(why));
    }
}

void TimeServerPage::showEvent(QShowEvent* event)
{
    SectionPage::showEvent(event);
    m_timeCheck.startClockDisplay();
}

void TimeServerPage::hideEvent(QHideEvent* event)
{
    SectionPage::hideEvent(event);
    m_timeCheck.stopClockDisplay();
}

} // namespace kestrelon
