#include "ui/RemoteServerTab.h"

#include "app/Application.h"
#include "ui/Named.h"
#include "ui/SettingsBinder.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrelon {

RemoteServerTab::RemoteServerTab(Application& app, QWidget* parent)
    : QWidget(parent), m_refresh(app.ipRefresh()), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsRemoteServer");
    cbFTP = named(new QCheckBox("Enable FTP", this), "cbFTP");
    auto* box = named(new QGroupBox("Remote FTP Server", this), "gbRemoteServer");
    RemoteHost = named(new QLineEdit(box), "RemoteHost");
    RemoteHost->setPlaceholderText("ftp.example.com or ftp.example.com:2121");
    Username = named(new QLineEdit(box), "Username");
    Password = named(new QLineEdit(box), "Password");
    Password->setEchoMode(QLineEdit::Password);
    cbPassword = named(new QCheckBox("Remember password", box), "cbPassword");
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Host", box), 0, 0);
    grid->addWidget(RemoteHost, 0, 1, 1, 2);
    grid->addWidget(new QLabel("Username", box), 1, 0);
    grid->addWidget(Username, 1, 1);
    grid->addWidget(new QLabel("Password", box), 2, 0);
    grid->addWidget(Password, 2, 1);
    grid->addWidget(cbPassword, 2, 2);
    grid->setColumnStretch(1, 1);

    btnFTP = named(new QPushButton("Upload", this), "btnFTP");
    btnFTP->setToolTip("Fill the remote templates with the current IP address and upload them now");
    btnSetTimer = named(new QPushButton("Set Timer", this), "btnSetTimer");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnFTP);
    buttons->addWidget(btnSetTimer);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cbFTP);
    layout->addWidget(box);
    layout->addLayout(buttons);
    layout->addStretch(1);

    m_binder->bind(cbFTP, &Settings::FTP, &FTPSettings::EnableFTP);
    m_binder->bind(RemoteHost, &Settings::Remote, &RemoteSettings::Host);
    m_binder->bind(Username, &Settings::Remote, &RemoteSettings::Username);
    m_binder->bind(Password, &Settings::Remote, &RemoteSettings::Password);
    m_binder->bind(cbPassword, &Settings::Remote, &RemoteSettings::SavePass);
    connect(&app.settings(), &SettingsModel::changed, m_binder, &SettingsBinder::load);
    for (QLineEdit* edit : {RemoteHost, Username, Password}) {
        connect(edit, &QLineEdit::textEdited, this, &RemoteServerTab::RemoteHostChange);
    }
    connect(btnFTP, &QPushButton::clicked, this, &RemoteServerTab::btnFTPClick);
    connect(btnSetTimer, &QPushButton::clicked, this, &RemoteServerTab::setTimerRequested);
}

void RemoteServerTab::btnFTPClick()
{
    m_refresh.cycle().upload();
}

void RemoteServerTab::RemoteHostChange()
{
    m_refresh.cycle().CheckFiles();
}

} // namespace kestrelon
