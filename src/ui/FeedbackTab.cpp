#include "ui/FeedbackTab.h"

#include "app/Application.h"
#include "ui/Named.h"
#include "ui/Prompts.h"
#include "ui/SettingsBinder.h"
#include "web/FeedbackForm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace kestrelon {

FeedbackTab::FeedbackTab(Application& app, Prompts& prompts, QWidget* parent)
    : QWidget(parent), m_app(app), m_prompts(prompts), m_binder(new SettingsBinder(app.settings(), this))
{
    setObjectName("tsFeedbackForm");

    auto* fileBox = named(new QGroupBox("Save to file", this), "gbAppend");
    rbAppend = named(new QRadioButton("Append to file:", fileBox), "rbAppend");
    edAppendFile = named(new QLineEdit(fileBox), "edAppendFile");
    btnAppendBrowse = named(new QPushButton("Browse..", fileBox), "btnAppendBrowse");
    auto* file = new QHBoxLayout(fileBox);
    file->addWidget(rbAppend);
    file->addWidget(edAppendFile, 1);
    file->addWidget(btnAppendBrowse);

    auto* mailBox = named(new QGroupBox("Send by e-mail", this), "gbEmail");
    rbEmail = named(new QRadioButton("Send e-mail to:", mailBox), "rbEmail");
    edEmailTo = named(new QLineEdit(mailBox), "edEmailTo");
    edEmailTo->setToolTip("One or more addresses, separated by commas");
    edMailServer = named(new QLineEdit(mailBox), "edMailServer");
    auto* serverNote =
        named(new QLabel("A host name or address, or host:port (port 25 when none is given).", mailBox),
              "lblMailServerNote");
    serverNote->setForegroundRole(QPalette::PlaceholderText);
    serverNote->setWordWrap(true);
    edMailFrom = named(new QLineEdit(mailBox), "edMailFrom");
    edSubject = named(new QLineEdit(mailBox), "edSubject");
    cbFeedbackAuth = named(new QCheckBox("Login required", mailBox), "cbFeedbackAuth");
    edFeedbackUsername = named(new QLineEdit(mailBox), "edFeedbackUsername");
    edFeedbackPassword = named(new QLineEdit(mailBox), "edFeedbackPassword");
    edFeedbackPassword->setEchoMode(QLineEdit::Password);
    auto* mail = new QGridLayout(mailBox);
    mail->addWidget(rbEmail, 0, 0);
    mail->addWidget(edEmailTo, 0, 1, 1, 3);
    mail->addWidget(new QLabel("SMTP Server:", mailBox), 1, 0);
    mail->addWidget(edMailServer, 1, 1, 1, 3);
    mail->addWidget(serverNote, 2, 1, 1, 3);
    mail->addWidget(new QLabel("From address:", mailBox), 3, 0);
    mail->addWidget(edMailFrom, 3, 1, 1, 3);
    mail->addWidget(new QLabel("Subject:", mailBox), 4, 0);
    mail->addWidget(edSubject, 4, 1, 1, 3);
    mail->addWidget(cbFeedbackAuth, 5, 0, 1, 4);
    mail->addWidget(new QLabel("Username:", mailBox), 6, 0);
    mail->addWidget(edFeedbackUsername, 6, 1);
    mail->addWidget(new QLabel("Password:", mailBox), 6, 2);
    mail->addWidget(edFeedbackPassword, 6, 3);
    mail->setColumnStretch(1, 1);
    mail->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileBox);
    layout->addWidget(mailBox);
    layout->addStretch();

    // The two buttons have different parents and drop each other in choose(); left to
    // themselves, a lone radio button could never be unchecked.
    rbAppend->setAutoExclusive(false);
    rbEmail->setAutoExclusive(false);
    connect(rbAppend, &QRadioButton::clicked, this, &FeedbackTab::rbAppendClick);
    connect(rbEmail, &QRadioButton::clicked, this, &FeedbackTab::rbEmailClick);
    connect(btnAppendBrowse, &QPushButton::clicked, this, &FeedbackTab::btnAppendBrowseClick);

    m_binder->bind(edAppendFile, &Settings::WebServe, &WebServeSettings::AppendFile);
    m_binder->bind(edEmailTo, &Settings::WebServe, &WebServeSettings::EmailAddr);
    m_binder->bind(edMailServer, &Settings::WebServe, &WebServeSettings::EmailServer);
    m_binder->bind(edMailFrom, &Settings::WebServe, &WebServeSettings::EmailFrom);
    m_binder->bind(edSubject, &Settings::WebServe, &WebServeSettings::Subject);
    m_binder->bind(cbFeedbackAuth, &Settings::WebServe, &WebServeSettings::FeedAuth);
    m_binder->bind(edFeedbackUsername, &Settings::WebServe, &WebServeSettings::FeedUser);
    m_binder->bind(edFeedbackPassword, &Settings::WebServe, &WebServeSettings::FeedPass);

    connect(&app.settings(), &SettingsModel::changed, this, &FeedbackTab::settingsChanged);
    settingsChanged();
}

void FeedbackTab::rbAppendClick()
{
    choose(true);
}

void FeedbackTab::rbEmailClick()
{
    choose(false);
}

void FeedbackTab::choose(bool append)
{
    // A click on the button already checked would clear it: it stays checked.
    {
        QSignalBlocker blockAppend(rbAppend);
        QSignalBlocker blockEmail(rbEmail);
        rbAppend->setChecked(append);
        rbEmail->setChecked(!append);
    }
    m_app.settings().update([&](Settings& s) {
        s.WebServe.Append = append;
        s.WebServe.Email = !append;
    });
}

void FeedbackTab::btnAppendBrowseClick()
{
    const QString file =
        m_prompts.saveFile(this, QString::fromStdString(m_app.paths().dataDir), "Log Files (*.txt)", "txt");
    if (!file.isEmpty()) {
        // The binder writes it to the settings.
        edAppendFile->setText(file);
    }
}

void FeedbackTab::settingsChanged()
{
    m_binder->load();
    // A hand-edited settings file may tick both: the buttons show the way the form takes.
    const auto way = FeedbackForm::chosenWay(m_app.settings().snapshot()->WebServe);
    QSignalBlocker blockAppend(rbAppend);
    QSignalBlocker blockEmail(rbEmail);
    rbAppend->setChecked(way == FeedbackForm::Way::Append);
    rbEmail->setChecked(way == FeedbackForm::Way::Email);
}

} // namespace kestrelon
