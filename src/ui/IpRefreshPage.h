#pragma once

#include "ui/SectionPage.h"

class QLabel;
class QRadioButton;
class QTabWidget;

namespace kestrelon {

class Application;
class ChangeMailTab;
class ExternalServiceTab;
class IpRefresh;
class Prompts;
class RefreshLogTab;
class RefreshTimerTab;
class RemoteServerTab;
class SettingsBinder;
class TemplateFilesTab;
class TestUrlTab;
class UserDefinedTab;

// The "IP-Refresh" page: the current and the last uploaded address with the state lamp above
// "FTP Settings" (Remote Server, Remote Files, Local Files, E-mail), "IP Lookup Services" (the
// lookup mode; Timer, External Service, User-Defined Service, Test URL) and "Log". The widgets
// show IP-Refresh's state and the settings; every action calls IP-Refresh. Main thread.
class IpRefreshPage : public SectionPage {
    Q_OBJECT
public:
    IpRefreshPage(Application& app, Prompts& prompts, QWidget* parent = nullptr);

    QLabel* lblDebugNoteIPRefresh;
    QLabel* Panel39; // "Current IP"
    QLabel* Panel45; // "Uploaded IP"
    QLabel* Shape1;  // the lamp
    QTabWidget* tabs;
    QTabWidget* PageControl3; // FTP Settings
    QTabWidget* PageControl9; // IP Lookup Services
    QRadioButton* rbExternal;
    QRadioButton* rbUserDefined;
    RefreshTimerTab* timerTab;
    RefreshLogTab* logTab;
    RemoteServerTab* remoteServerTab;
    TemplateFilesTab* remoteFilesTab;
    TemplateFilesTab* localFilesTab;
    ChangeMailTab* mailTab;
    ExternalServiceTab* externalServiceTab;
    UserDefinedTab* userDefinedTab;
    TestUrlTab* testUrlTab;

    // The sub-pages by their place in their tab widgets.
    enum Tab { FtpSettings, LookupServices, Log };
    enum FtpTab { RemoteServer, RemoteFiles, LocalFiles, Email };
    enum LookupTab { Timer, ExternalService, UserDefinedService, TestUrl };

public Q_SLOTS:
    // The page is shown: "FTP Settings" with "Remote Server", the uploaded address, the check.
    void ts5Show();
    // "Set Timer": "IP Lookup Services" with "Timer".
    void btnSetTimerClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void stateChanged();
    void tabChanged(int index);
    void TabSheet2Show();
    void TabSheet15Show();
    void PageControl9Change(int index);

    IpRefresh& m_refresh;
    Prompts& m_prompts;
    SettingsBinder* m_binder;
    int m_lookupTab = 0; // the IP Lookup Services page shown last
    bool m_settingTabs = false;
};

} // namespace kestrelon
