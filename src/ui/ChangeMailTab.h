#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kestrelon {

class Application;
class IpRefresh;
class SettingsBinder;

// IP-Refresh's "E-mail" page: whether and where the address-change mail goes, the SMTP server
// with its optional login, and "Test". Main thread.
class ChangeMailTab : public QWidget {
    Q_OBJECT
public:
    explicit ChangeMailTab(Application& app, QWidget* parent = nullptr);

    QCheckBox* cbWebMail; // "Send e-mail to:"
    QLineEdit* edWebTo;
    QLineEdit* edWebSMTP;
    QLineEdit* edWebFrom;
    QLineEdit* edWebMail; // "Subject:"
    QCheckBox* cboxWebAuth;
    QLineEdit* edWebUser;
    QLineEdit* edWebPass;
    QPushButton* Button14; // "Test"

public Q_SLOTS:
    void Button14Click();

private:
    IpRefresh& m_refresh;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
