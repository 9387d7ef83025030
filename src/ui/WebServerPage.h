#pragma once

#include "ui/SectionPage.h"

#include <string>

class QCheckBox;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace kestrelon {

class Application;
class Prompts;
class LogView;
class SettingsBinder;

// The "Web Server" page: the server's address and port, root folder and default file, start and
// stop, the login, the Server Log and the Blocked Users list. The widgets show the settings
// model and the server's state; every action calls the server. Main thread.
class WebServerPage : public SectionPage {
    Q_OBJECT
public:
    WebServerPage(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    // The sub-page "Internet Connection", shown at the window's first activation.
    void showInternetConnection();

    QTabWidget* tabs;
    QGroupBox* GroupBox1; // "Internet Address"
    QComboBox* cbLocalHost;
    QLineEdit* edPort;
    QCheckBox* cbLAN;
    QPushButton* btnRefreshIP;
    QLabel* lblDebugNote;
    QLineEdit* edRoot;
    QPushButton* btnBrowse;
    QLineEdit* edDefaultFile;
    QLabel* Label54; // the root folder warning
    QPushButton* btnStartServer;
    QCheckBox* cbAutoStartServer;
    QLabel* lblFirstStart; // where a first start put the settings file and the web root
    QCheckBox* cbAuthentication;
    QLineEdit* edUserName;
    QLineEdit* edPassword;
    QLineEdit* edLogin;
    LogView* logView; // the Message log: memLog, its line count Label79, its pop-up menu
    QPlainTextEdit* memLog;
    QLabel* Label79;
    QAction* memBlock; // "Add To Blocked List"
    QCheckBox* cbEnableLog;
    QCheckBox* cbRevDNS;
    QCheckBox* cbDontLogOwn;
    QListWidget* BlockedList;
    QPushButton* btnAddBlocked;
    QPushButton* btnRemoveBlocked;

public Q_SLOTS:
    void btnStartServerClick();
    void btnRefreshIPClick();
    void cbLANClick();
    void btnBrowseClick();
    void edRootChange();
    void edRootExit();
    void edPortExit();
    void btnAddBlockedClick();
    void btnRemoveBlockedClick();
    // "Add To Blocked List": the selected text of the log.
    void memBlockClick(const QString& selected);
    void setDebugNoteVisible(bool visible);

private:
    QWidget* makeConnectionTab();
    QWidget* makeLogTab();
    QWidget* makeBlockedTab();
    void settingsChanged();
    void serverStateChanged();
    void loadAddresses();
    void loadBlockedList();

    Application& m_app;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
};

} // namespace kestrelon
