#pragma once

#include "iprefresh/IpRefreshServices.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>

namespace kestrelon {

class IpLookup;
class IpRefreshState;
class SerialJobRunner;
class SettingsModel;
struct RefreshPassOutcome;

// The refresh cycle: Start looks the external address up at once and then every [FTP] Interval
// minutes, and runs the refresh pass whenever the address differs from the last uploaded one;
// the interval 0 makes Start an "Update" of one check. Also the refresh pass itself (the checks
// before it, then the upload, mail and local refill as one job, then the lamp, the countdown and
// the restart of a running web server), the address-change mail's "Test", and the rules of the
// interval box.
//
// Threads: main thread. Lookups, passes and mails run as jobs of the job runner; their progress
// comes back by the runner's posts. While a lookup or pass of the cycle runs, the minute tick does not
// count down and Start/Update and Upload do nothing, so two never overlap.
class RefreshCycle : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickInterval = 60000; // milliseconds
    static constexpr const char* kDebugRefusal = "Debug Active. IP-Refresh not available.";

    RefreshCycle(SettingsModel& settings, IpRefreshState& state, IpLookup& lookup, SerialJobRunner& jobs,
                 const IpRefreshServices& services, QObject* parent = nullptr);

    // Start/Update (btnStartClick): refused with a message when CheckFiles finds something
    // missing or debug mode is on.
    void startOrUpdate();
    // Stop (btnStopFTPClick).
    void stop();
    // A tick of Timer1: counts a minute down, checks at 0 and reloads the countdown.
    void minuteTick();
    // "Upload" (btnFTPClick): one refresh pass, even when the address has not changed.
    void upload();
    // The address-change mail's "Test", sent whatever "Send e-mail to:" says.
    void sendTestMail();

    // The interval box changed ([FTP] Interval is already set).
    void intervalChanged();
    // The interval box was left: the minimum-interval rule.
    void intervalEditFinished();
    // The IP-Refresh page, and its FTP Settings page, were shown.
    void pageShown();
    void ftpSettingsShown();

    // CheckFiles: the precondition message, empty when a refresh may run. A message stops the
    // countdown and makes the current address "UNKNOWN".
    std::string CheckFiles();
    // The start-up start: Start/Update when [FTP] AutoStart is set, unless noAuto.
    void startAtStartup(bool noAuto);

    bool busy() const { return m_busy; }
    bool ticking() const { return Timer1.isActive(); }
    int countdown() const { return m_countdown; }

    QTimer Timer1;

Q_SIGNALS:
    void messageBox(const QString& text);
    // A refresh pass has ended and its results are shown.
    void passFinished();

private:
    void lookupThen(std::function<void()> next);
    void afterStartLookup();
    void afterTickLookup();
    // The refresh pass; done runs when it is over, whichever way.
    void refreshPass(std::function<void()> done);
    // The pass's results after its job: panels, stored addresses, countdown, lamp, server.
    void finishPass(const std::string& address, const RefreshPassOutcome& outcome);
    void applyMinimumInterval();
    void logLine(const std::string& text);
    void setLamp(bool lime);
    void finishJob();

    SettingsModel& m_settings;
    IpRefreshState& m_state;
    IpLookup& m_lookup;
    SerialJobRunner& m_jobs;
    IpRefreshServices m_services;
    int m_countdown = 0;
    bool m_busy = false;
};

} // namespace kestrelon
