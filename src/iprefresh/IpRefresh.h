#pragma once

#include "core/SerialJobRunner.h"
#include "iprefresh/IpLookup.h"
#include "iprefresh/IpRefreshServices.h"
#include "iprefresh/IpRefreshState.h"
#include "iprefresh/PageWorkbench.h"
#include "iprefresh/RefreshCycle.h"
#include "iprefresh/UserDefinitions.h"

#include <QObject>
#include <QString>

namespace kestrelon {

class SettingsModel;

// IP-Refresh as the Application owns it: the shown state, the address lookup, the refresh cycle
// and the page workbench, built on the services the Application hands in, with one job runner for
// all their network work, so that no two lookups, passes, mails or page fetches overlap.
// Main thread.
class IpRefresh : public QObject {
    Q_OBJECT
public:
    IpRefresh(SettingsModel& settings, const IpRefreshServices& services, QObject* parent = nullptr);

    // Start-up, while the window is created: the precondition check and the stored lookup
    // definition in the router fields.
    void prepareAtStartup();
    // The window's first showing: the cycle starts when [FTP] AutoStart asks for it.
    void startAtStartup(bool noAuto) { m_cycle.startAtStartup(noAuto); }
    // Shutdown: drops waiting jobs, stops the running one and waits up to bound for it. True when
    // no job runs any more; nothing new starts afterwards.
    bool shutdown(std::chrono::milliseconds bound) { return m_jobs.shutdown(bound); }

    IpRefreshState& state() { return m_state; }
    IpLookup& lookup() { return m_lookup; }
    RefreshCycle& cycle() { return m_cycle; }
    PageWorkbench& workbench() { return m_workbench; }
    UserDefinitions& definitions() { return m_definitions; }
    SerialJobRunner& jobs() { return m_jobs; }

Q_SIGNALS:
    // A message box of any part (the window shows it; headless writes it to standard error).
    void messageBox(const QString& text);

private:
    SettingsModel& m_settings;
    IpRefreshState m_state;
    // Built before the parts, which hold on to it. A job never touches a part on its worker
    // thread: what it reports is posted, and posts are dropped once the runner is gone.
    SerialJobRunner m_jobs;
    IpLookup m_lookup;
    RefreshCycle m_cycle;
    PageWorkbench m_workbench;
    UserDefinitions m_definitions;
};

} // namespace kestrelon
