#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace kestrelon {

class Application;
class IpRefresh;
class LogView;
class Prompts;
class SettingsBinder;

// IP-Refresh's "Log" page: the log, "Clear Log", "Save Log", "Enable FTP Log", and a second
// Start/Update button that does what the Timer page's does. Main thread.
class RefreshLogTab : public QWidget {
    Q_OBJECT
public:
    RefreshLogTab(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    LogView* ListBox1; // with its line count lblLogLines
    QCheckBox* cbFTPLog;
    QPushButton* Button11; // Start/Update
    QPushButton* btnClearLog;
    QPushButton* btnSaveLog;

public Q_SLOTS:
    void btnClearLogClick();
    void btnSaveLogClick();

private:
    void stateChanged();

    Application& m_app;
    IpRefresh& m_refresh;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
