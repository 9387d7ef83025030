#include "ui/ChangeMailTab.h"

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

ChangeMailTab::ChangeMailTab(Application& app, QWidget* parent)
    : QWidget(parent), m_refresh(app.ipRefresh()), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsEmail");
    auto* box = named(new QGroupBox("Email ", this), "gbEmail");
    cbWebMail = named(new QCheckBox("Send e-mail to:", box), "cbWebMail");
    edWebTo = named(new QLineEdit(box), "edWebTo");
    edWebTo->setPlaceholderText("me@example.org, another@example.org");
    edWebSMTP = named(new QLineEdit(box), "edWebSMTP");
    edWebSMTP->setPlaceholderText("mail.example.org or mail.example.org:587");
    edWebFrom = named(new QLineEdit(box), "edWebFrom");
    edWebMail = named(new QLineEdit(box), "edWebMail");
    cboxWebAuth = named(new QCheckBox("Login required", box), "cboxWebAuth");
    edWebUser = named(new QLineEdit(box), "edWebUser");
    edWebPass = named(new QLineEdit(box), "edWebPass");
    edWebPass->setEchoMode(QLineEdit::Password);
    Button14 = named(new QPushButton("Test", box), "Button14");
    Button14->setToolTip("Send a test message now");
    auto* grid = new QGridLayout(box);
    grid->addWidget(cbWebMail, 0, 0);
    grid->addWidget(edWebTo, 0, 1, 1, 3);
    grid->addWidget(new QLabel("SMTP Server:", box), 1, 0);
    grid->addWidget(edWebSMTP, 1, 1, 1, 3);
    grid->addWidget(new QLabel("From address:", box), 2, 0);
    grid->addWidget(edWebFrom, 2, 1, 1, 3);
    grid->addWidget(new QLabel("Subject:", box), 3, 0);
    grid->addWidget(edWebMail, 3, 1, 1, 3);
    grid->addWidget(cboxWebAuth, 4, 0, 1, 4);
    grid->addWidget(new QLabel("Username:", box), 5, 0);
    grid->addWidget(edWebUser, 5, 1);
    grid->addWidget(new QLabel("Password:", box), 5, 2);
    grid->addWidget(edWebPass, 5, 3);
    auto* test = new QHBoxLayout;
    test->addStretch(1);
    test->addWidget(Button14);
    grid->addLayout(test, 6, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addStretch(1);

    m_binder->bind(cbWebMail, &Settings::DNS, &DNSSettings::Sendmail);
    m_binder->bind(edWebTo, &Settings::DNS, &DNSSettings::To);
    m_binder->bind(edWebSMTP, &Settings::DNS, &DNSSettings::Server);
    m_binder->bind(edWebFrom, &Settings::DNS, &DNSSettings::From);
    m_binder->bind(edWebMail, &Settings::DNS, &DNSSettings::Subject);
    m_binder->bind(cboxWebAuth, &Settings::DNS, &DNSSettings::WebAuth);
    m_binder->bind(edWebUser, &Settings::DNS, &DNSSettings::WebUser);
    m_binder->bind(edWebPass, &Settings::DNS, &DNSSettings::WebPass);
    connect(&app.settings(), &SettingsModel::changed, m_binder, &SettingsBinder::load);
    connect(Button14, &QPushButton::clicked, this, &ChangeMailTab::Button14Click);
}

void ChangeMailTab::Button14Click()
{
    m_refresh.cycle().sendTestMail();
}

} // namespace kestrelon
