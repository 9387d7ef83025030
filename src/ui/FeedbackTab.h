#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kestrelon {

class Application;
class Prompts;
class SettingsBinder;

// The "Feedback Form" page of the Web Server section: where a page's form submissions go, to a
// file ("Append to file:") or by mail ("Send e-mail to:" with the SMTP server, sender, subject
// and login). Every box is bound to the settings, which the form reads at each submission.
// Main thread.
class FeedbackTab : public QWidget {
    Q_OBJECT
public:
    FeedbackTab(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QRadioButton* rbAppend;
    QLineEdit* edAppendFile;
    QPushButton* btnAppendBrowse;
    QRadioButton* rbEmail;
    QLineEdit* edEmailTo;
    QLineEdit* edMailServer;
    QLineEdit* edMailFrom;
    QLineEdit* edSubject;
    QCheckBox* cbFeedbackAuth;
    QLineEdit* edFeedbackUsername;
    QLineEdit* edFeedbackPassword;

public Q_SLOTS:
    // The two ways sit in different groups; choosing one drops the other.
    void rbAppendClick();
    void rbEmailClick();
    // "Browse..": a save-file dialog for the record file.
    void btnAppendBrowseClick();

private:
    void choose(bool append);
    void settingsChanged();

    Application& m_app;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
