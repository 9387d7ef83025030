#pragma once

#include "core/LineLog.h"
#include "core/SerialJobRunner.h"
#include "timecheck/TimeClient.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <string>

namespace kestrelon {

class ClockSetter;
class SettingsModel;

// The preset time servers offered in "Select Server:", public servers of the Time protocol on
// port 37 (NIST's time servers); the first is the default of [TimeServer] Server.
inline constexpr std::array<const char*, 6> kPresetTimeServers = {
    "129.6.15.28", "129.6.15.29", "129.6.15.30", "129.6.15.27", "132.163.97.1", "132.163.97.2",
};

// The text of the "Time Format" help dialog: the tokens of a date and time pattern.
inline constexpr const char* kTimeFormatHelp = "Token     Represents        Example\n"
                                               "------------------------------------\n"
                                               "dddd      Day of week.      Monday\n"
                                               "ddd       Day of week.      Mon\n"
                                               "dd        Day of month.     05\n"
                                               "d         Day of month.     5\n"
                                               "\n"
                                               "mmmm      Month.            February\n"
                                               "mmm       Month.            Feb\n"
                                               "mm        Month.            02\n"
                                               "m         Month.            2\n"
                                               "\n"
                                               "yyyy      Year.             2005\n"
                                               "yy        Year.             05\n"
                                               "hh, nn, ss   Hours, Minutes and Seconds.\n"
                                               "Other characters can be used as \n"
                                               "spacers.\n"
                                               "eg.. ddd dd mmm yyyy  hh:nn:ss\n"
                                               "     Sat 12 Feb 2005  16:45:23";

// The time check: asks the time server in [TimeServer] Server for the time (RFC 868), logs the
// server's time beside the PC clock, shows it in the [TimeServer] Format pattern, remembers it as
// [TimeServer] Last and, with "Adjust PC clock", sets the clock from a second query. A check runs
// on demand, at start-up and daily at [TimeServer] DailyTime while [TimeServer] Daily is set.
//
// Threads: the object lives on the main thread and every function is called there. A check's
// network part runs as a job of its own serial job runner, so the window never waits for the
// server; it reports back by queued calls, and the log, the displays and the settings change on
// the main thread. One check runs at a time: a click or a daily tick while one runs does nothing,
// because the running check already answers what the new one would ask a few seconds later.
class TimeCheck : public QObject {
    Q_OBJECT
public:
    // The clock: the current time (UTC). It gives the PC time of the log lines, the clock
    // display, the minute of the daily check and the era of the server's answer. Called on the
    // main thread and on the worker thread.
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static constexpr int kDailyInterval = 60000;  // milliseconds
    static constexpr int kDisplayInterval = 1000; // milliseconds
    static constexpr const char* kConnecting = "Connecting to Time Server...";
    static constexpr const char* kAdjusted = "        (Adjusted)";
    static constexpr const char* kNoResponse = "        (Server - no response)";

    // setter sets the PC clock for "Adjust PC clock"; clock defaults to the system's.
    TimeCheck(SettingsModel& settings, ClockSetter& setter, Clock clock = {},
              TimeClient::Options clientOptions = {}, QObject* parent = nullptr);
    // Waits for a running check, which is told to give up its waits at once.
    ~TimeCheck() override = default;

    // "Check Now", the start-up check and the daily check: starts one check and returns at once.
    // Does nothing while a check runs.
    void checkNow();
    bool checking() const { return m_checking; }

    // A tick of DailyTimer: a check when the current minute is [TimeServer] DailyTime's and
    // [TimeServer] Daily is still set; at most one per minute.
    void dailyTick();
    // DailyTimer on or off with [TimeServer] Daily, and the state announced. The timer also
    // follows every later change of the setting.
    void applyDailySetting();
    bool dailyRunning() const { return DailyTimer.isActive(); }

    // The clock display: DateTimeTimer runs while the Time Server page is shown.
    void startClockDisplay();
    void stopClockDisplay();
    // Shows the current time in the pattern.
    void showCurrentTime();

    void clearLog();

    // The time log: one line per check, without a stamp of its own.
    LineLog& log() { return m_log; }
    // The time display (Panel16) and the status-bar text as they are now.
    const QString& timeText() const { return m_timeText; }
    const QString& statusText() const { return m_statusText; }
    // Why the last check found no time; empty after an answer. Set before the check's line is
    // appended to the log, so a listener to the log sees the reason of that line.
    const std::string& lastError() const { return m_lastError; }

    // A time in a pattern of the pattern language, local time; the empty pattern gives the
    // default date-and-time rendering ("c").
    static std::string formatTime(const std::string& pattern, std::chrono::system_clock::time_point time);
    // A time as "hh:mm:ss", local, hours 00 to 23: the form of the log lines.
    static std::string clockText(std::chrono::system_clock::time_point time);

    QTimer DailyTimer;
    QTimer DateTimeTimer;

Q_SIGNALS:
    // The status-bar text: kConnecting while a check runs, empty after it.
    void statusTextChanged(const QString& text);
    // The time display's text changed.
    void timeTextChanged(const QString& text);
    // The daily check was switched on or off ("Running" / "Stopped").
    void dailyStateChanged(bool running);
    // A check has ended and its line is in the log.
    void checkFinished();

private:
    struct Job {
        std::string server;
        bool adjust = false;
    };
    struct Result {
        bool answered = false;
        std::chrono::system_clock::time_point serverTime{};
        std::chrono::system_clock::time_point pcTime{};
        bool adjusted = false;
        std::string error;
    };

    // The job's straight-line part of a check, on the runner's worker thread.
    void runCheck(const Job& job, const SerialJobRunner::Context& context);
    // Main thread: the first answer arrived.
    void showServerTime(std::chrono::system_clock::time_point time);
    // Main thread: the check is over.
    void finishCheck(const Result& result);
    void setTimeText(const QString& text);
    void setStatusText(const QString& text);
    void followDailySetting();

    SettingsModel& m_settings;
    ClockSetter& m_setter;
    Clock m_clock;
    TimeClient m_client;
    LineLog m_log;
    QString m_timeText;
    QString m_statusText;
    std::string m_lastError;
    bool m_checking = false;
    // The minute of the last daily check, so that two ticks in one minute run it once.
    std::chrono::sys_time<std::chrono::minutes> m_lastDailyMinute{};
    // Last, so that a running check is stopped and joined before anything it uses goes.
    SerialJobRunner m_jobs;
};

} // namespace kestrelon
