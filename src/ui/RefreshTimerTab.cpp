#include "ui/RefreshTimerTab.h"

#include "app/Application.h"
#include "iprefresh/IntervalRules.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"
#include "ui/ShownText.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kestrelon {

RefreshTimerTab::RefreshTimerTab(Application& app, QWidget* parent)
    : QWidget(parent), m_refresh(app.ipRefresh()), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsTimer");
    auto* box = named(new QGroupBox("Check the external IP address", this), "gbInterval");
    SpinEdit1 = named(new QSpinBox(box), "SpinEdit1");
    SpinEdit1->setRange(0, kMaxInterval);
    SpinEdit1->setMinimumWidth(80);
    Panel41 = panelLabel("Panel41", box, 120);
    Label38 = named(new QLabel("Time left to next check", box), "Label38");
    Panel30 = panelLabel("Panel30", box, 120);
    btnStart = named(new QPushButton("Start", box), "btnStart");
    btnStopFTP = named(new QPushButton("Stop", box), "btnStopFTP");
    btnStopFTP->setEnabled(false);
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Every", box), 0, 0);
    auto* interval = new QHBoxLayout;
    interval->addWidget(SpinEdit1);
    interval->addWidget(new QLabel("minutes (0: by hand)", box));
    interval->addStretch(1);
    grid->addLayout(interval, 0, 1);
    grid->addWidget(Panel41, 0, 2);
    grid->addWidget(Label38, 1, 0, 1, 2);
    grid->addWidget(Panel30, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(btnStopFTP);
    buttons->addStretch(1);
    grid->addLayout(buttons, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    cbAutoStartRefresh = named(new QCheckBox("Start automatically", this), "cbAutoStartRefresh");
    cbBackoff = named(new QCheckBox("Backoff on failed IP lookup", this), "cbBackoff");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(cbAutoStartRefresh);
    layout->addWidget(cbBackoff);
    layout->addStretch(1);

    m_binder->bind(SpinEdit1, &Settings::FTP, &FTPSettings::Interval);
    m_binder->bind(cbAutoStartRefresh, &Settings::FTP, &FTPSettings::AutoStart);
    m_binder->bind(cbBackoff, &Settings::Remote, &RemoteSettings::Backoff);
    // After the binder has written the new value.
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &RefreshTimerTab::SpinEdit1Change);
    connect(SpinEdit1, &QSpinBox::editingFinished, this, &RefreshTimerTab::SpinEdit1Exit);
    connect(btnStart, &QPushButton::clicked, this, &RefreshTimerTab::btnStartClick);
    connect(btnStopFTP, &QPushButton::clicked, this, &RefreshTimerTab::btnStopFTPClick);
    connect(&app.settings(), &SettingsModel::changed, this, &RefreshTimerTab::settingsChanged);
    connect(&m_refresh.state(), &IpRefreshState::changed, this, &RefreshTimerTab::stateChanged);
    settingsChanged();
    stateChanged();
}

void RefreshTimerTab::btnStartClick()
{
    m_refresh.cycle().startOrUpdate();
}

void RefreshTimerTab::btnStopFTPClick()
{
    m_refresh.cycle().stop();
}

void RefreshTimerTab::SpinEdit1Change()
{
    m_refresh.cycle().intervalChanged();
}

void RefreshTimerTab::SpinEdit1Exit()
{
    m_refresh.cycle().intervalEditFinished();
}

void RefreshTimerTab::settingsChanged()
{
    m_binder->load();
    const int32_t interval = SpinEdit1->value();
    SpinEdit1->setSingleStep(intervalStep(interval));
    Label38->setEnabled(interval > 0);
    btnStart->setText(startCaption(interval));
    cbAutoStartRefresh->setText(autoStartCaption(interval));
    showText(Panel41, hoursAndMinutes(interval));
}

void RefreshTimerTab::stateChanged()
{
    const auto& f = m_refresh.state().fields();
    btnStart->setEnabled(f.startEnabled);
    btnStopFTP->setEnabled(f.stopEnabled);
    SpinEdit1->setEnabled(f.intervalEnabled);
    showText(Panel30, f.countdownText);
}

} // namespace kestrelon
