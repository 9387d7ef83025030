#pragma once

#include "iprefresh/IpLookup.h"
#include "iprefresh/IpRefreshServices.h"
#include "iprefresh/IpRefreshState.h"
#include "iprefresh/PageWorkbench.h"
#include "iprefresh/RefreshCycle.h"

#include <QObject>
#include <QString>

namespace kestrelon {

class SettingsModel;

// IP-Refresh as the Application owns it: the shown state, the address lookup, the refresh cycle
// and the page workbench, built on the services the Application hands in. Main thread.
class IpRefresh : public QObject {
    Q_OBJECT
public:
    IpRefresh(SettingsModel& settings, const IpRefreshServices& services, QObject* parent = nullptr);

    // Start-up, while the window is created: the precondition check and the stored lookup
    // definition in the router fields.
    void prepareAtStartup();
    // The window's first showing: the cycle starts when [FTP] AutoStart asks for it.
    void startAtStartup(bool noAuto) { m_cycle.startAtStartup(noAuto); }

    IpRefreshState& state() { return m_state; }
    IpLookup& lookup() { return m_lookup; }
    RefreshCycle& cycle() { return m_cycle; }
    PageWorkbench& workbench() { return m_workbench; }

Q_SIGNALS:
    // A message box of any part (the window shows it; headless writes it to standard error).
    void messageBox(const QString& text);

private:
    SettingsModel& m_settings;
    IpRefreshState m_state;
    IpLookup m_lookup;
    RefreshCycle m_cycle;
    PageWorkbench m_workbench;
};

} // namespace kestrelon
