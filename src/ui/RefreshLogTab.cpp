#include "ui/RefreshLogTab.h"

#include "app/Application.h"
#include "iprefresh/IntervalRules.h"
#include "ui/LogView.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrelon {

RefreshLogTab::RefreshLogTab(Application& app, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_app(app), m_refresh(app.ipRefresh()),
      m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsLog");
    ListBox1 = new LogView(app.ipRefreshLog(), prompts,
                           {"ListBox1", "lblLogLines", QString::fromStdString(app.paths().dataDir)}, this);
    cbFTPLog = named(new QCheckBox("Enable FTP Log", this), "cbFTPLog");
    Button11 = named(new QPushButton("Start", this), "Button11");
    btnClearLog = named(new QPushButton("Clear Log", this), "btnClearLog");
    btnSaveLog = named(new QPushButton("Save Log", this), "btnSaveLog");
    auto* row = new QHBoxLayout;
    row->addWidget(cbFTPLog);
    row->addStretch(1);
    row->addWidget(Button11);
    row->addWidget(btnClearLog);
    row->addWidget(btnSaveLog);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBox1, 1);
    layout->addLayout(row);

    m_binder->bind(cbFTPLog, &Settings::Remote, &RemoteSettings::FTPLog);
    connect(&app.settings(), &SettingsModel::changed, this, [this] {
        m_binder->load();
        Button11->setText(startCaption(m_app.settings().snapshot()->FTP.Interval));
    });
    connect(Button11, &QPushButton::clicked, this, [this] { m_refresh.cycle().startOrUpdate(); });
    connect(btnClearLog, &QPushButton::clicked, this, &RefreshLogTab::btnClearLogClick);
    connect(btnSaveLog, &QPushButton::clicked, this, &RefreshLogTab::btnSaveLogClick);
    connect(&m_refresh.state(), &IpRefreshState::changed, this, &RefreshLogTab::stateChanged);
    Button11->setText(startCaption(app.settings().snapshot()->FTP.Interval));
    stateChanged();
}

void RefreshLogTab::btnClearLogClick()
{
    ListBox1->clearClick();
}

void RefreshLogTab::btnSaveLogClick()
{
    ListBox1->saveClick();
}

void RefreshLogTab::stateChanged()
{
    Button11->setEnabled(m_refresh.state().fields().startEnabled);
}

} // namespace kestrelon
