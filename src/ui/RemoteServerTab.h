#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace kestrelon {

class Application;
class IpRefresh;
class SettingsBinder;

// IP-Refresh's "Remote Server" page: "Enable FTP", the site's FTP host and login, "Upload" (one
// refresh pass now) and "Set Timer". Main thread.
class RemoteServerTab : public QWidget {
    Q_OBJECT
public:
    explicit RemoteServerTab(Application& app, QWidget* parent = nullptr);

    QCheckBox* cbFTP;
    QLineEdit* RemoteHost;
    QLineEdit* Username;
    QLineEdit* Password;
    QCheckBox* cbPassword; // "Remember password"
    QPushButton* btnFTP;   // "Upload"
    QPushButton* btnSetTimer;

public Q_SLOTS:
    void btnFTPClick();
    // A change of the host or the login: the precondition check again.
    void RemoteHostChange();

Q_SIGNALS:
    // "Set Timer": the Timer page is to be shown.
    void setTimerRequested();

private:
    IpRefresh& m_refresh;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
