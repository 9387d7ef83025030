#include "timecheck/TimeCheck.h"

#include "core/DateTimePattern.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "timecheck/ClockSetter.h"

#include <string_view>

namespace kestrelon {

static_assert(std::string_view(kPresetTimeServers[0]) == kDefaultTimeServer,
              "the first preset server is the default of [TimeServer] Server");

namespace {

constexpr const char* kDefaultRendering = "c";
constexpr const char* kClockPattern = "hh:nn:ss";
const std::string kAfterServerTime(15, ' ');
const std::string kBeforePcTime(26, ' ');

} // namespace

TimeCheck::TimeCheck(SettingsModel& settings, ClockSetter& setter, Clock clock,
                     TimeClient::Options clientOptions, QObject* parent)
    : QObject(parent), m_settings(settings), m_setter(setter),
      m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })),
      m_client(clientOptions)
{
    DailyTimer.setObjectName("DailyTimer");
    DailyTimer.setInterval(kDailyInterval);
    // Ticks a minute apart, not drifting: the daily check compares minutes.
    DailyTimer.setTimerType(Qt::PreciseTimer);
    connect(&DailyTimer, &QTimer::timeout, this, &TimeCheck::dailyTick);
    DateTimeTimer.setObjectName("DateTimeTimer");
    DateTimeTimer.setInterval(kDisplayInterval);
    connect(&DateTimeTimer, &QTimer::timeout, this, &TimeCheck::showCurrentTime);
    // A reload of the settings file can change [TimeServer] Daily too.
    settings.watch(
        this, [](const Settings& s) { return s.TimeServer.Daily; },
        [this](const Settings&) { followDailySetting(); });
}

std::string TimeCheck::formatTime(const std::string& pattern, std::chrono::system_clock::time_point time)
{
    return formatDateTime(pattern.empty() ? kDefaultRendering : pattern, DateTimeParts::fromLocalTime(time));
}

std::string TimeCheck::clockText(std::chrono::system_clock::time_point time)
{
    return formatDateTime(kClockPattern, DateTimeParts::fromLocalTime(time));
}

void TimeCheck::checkNow()
{
    if (m_checking) {
        return;
    }
    m_checking = true;
    auto s = m_settings.snapshot();
    Job job{s->TimeServer.Server, s->TimeServer.PCAdjust};
    setStatusText(kConnecting);
    // Queued, not started: the previous check has posted its result and may still be ending.
    m_jobs.enqueue([this, job](SerialJobRunner::Context& context) { runCheck(job, context); });
}

void TimeCheck::runCheck(const Job& job, const SerialJobRunner::Context& context)
{
    const std::stop_token stop = context.stopToken();
    Result result;
    try {
        const TimeAnswer first = m_client.query(job.server, m_clock(), stop);
        // The PC time of the line is read once the server has answered or failed.
        result.pcTime = m_clock();
        if (first.answered()) {
            context.post([this, time = first.time] { showServerTime(time); });
            result.answered = true;
            result.serverTime = first.time;
            if (job.adjust) {
                // The clock is set from a fresh answer, not from one that has aged by the time
                // the first one was handled.
                const TimeAnswer second = m_client.query(job.server, m_clock(), stop);
                if (second.answered()) {
                    result.adjusted = m_setter.setClock(second.time);
                } else if (second.outcome == TimeAnswer::Outcome::Failed) {
                    // A broken second query fails the check, as the first would; a server that
                    // only gave no time leaves the clock as it is and the line without "(Adjusted)".
                    result.answered = false;
                    result.error = second.error;
                    result.pcTime = m_clock();
                }
            }
        } else {
            result.error = first.error;
        }
    } catch (const std::exception& e) {
        result = Result{};
        result.error = e.what();
        result.pcTime = m_clock();
    } catch (...) {
        result = Result{};
        result.error = "unexpected error";
        result.pcTime = m_clock();
    }
    context.post([this, result] { finishCheck(result); });
}

void TimeCheck::showServerTime(std::chrono::system_clock::time_point time)
{
    setTimeText(QString::fromStdString(formatTime(m_settings.snapshot()->TimeServer.Format, time)));
}

void TimeCheck::finishCheck(const Result& result)
{
    std::string line;
    if (result.answered) {
        line = clockText(result.serverTime) + kAfterServerTime + clockText(result.pcTime);
        if (result.adjusted) {
            line += kAdjusted;
        }
        const std::string last = formatTime(m_settings.snapshot()->TimeServer.Format, result.serverTime);
        m_settings.update([&](Settings& s) { s.TimeServer.Last = last; });
    } else {
        line = kBeforePcTime + clockText(result.pcTime) + kNoResponse;
    }
    m_lastError = result.error;
    m_log.append(line);
    m_checking = false;
    setStatusText(QString());
    Q_EMIT checkFinished();
}

void TimeCheck::dailyTick()
{
    auto s = m_settings.snapshot();
    if (!s->TimeServer.Daily) {
        return;
    }
    const auto now = m_clock();
    const DateTimeParts local = DateTimeParts::fromLocalTime(now);
    // "HH:mm" against "HH:mm": the stored time's seconds do not count.
    if (local.hour * 60 + local.minute != s->TimeServer.DailyTime / 60) {
        return;
    }
    const auto minute = std::chrono::floor<std::chrono::minutes>(now);
    if (minute == m_lastDailyMinute) {
        return;
    }
    m_lastDailyMinute = minute;
    checkNow();
}

void TimeCheck::applyDailySetting()
{
    const bool daily = m_settings.snapshot()->TimeServer.Daily;
    if (!daily) {
        DailyTimer.stop();
    } else if (!DailyTimer.isActive()) {
        // start() on a running timer would restart it and shift its ticks.
        DailyTimer.start();
    }
    Q_EMIT dailyStateChanged(daily);
}

void TimeCheck::followDailySetting()
{
    if (m_settings.snapshot()->TimeServer.Daily != DailyTimer.isActive()) {
        applyDailySetting();
    }
}

void TimeCheck::startClockDisplay()
{
    DateTimeTimer.start();
    // At once, not a second later.
    showCurrentTime();
}

void TimeCheck::stopClockDisplay()
{
    DateTimeTimer.stop();
}

void TimeCheck::showCurrentTime()
{
    setTimeText(QString::fromStdString(formatTime(m_settings.snapshot()->TimeServer.Format, m_clock())));
}

void TimeCheck::clearLog()
{
    m_log.clear();
}

void TimeCheck::setTimeText(const QString& text)
{
    if (text != m_timeText) {
        m_timeText = text;
        Q_EMIT timeTextChanged(text);
    }
}

void TimeCheck::setStatusText(const QString& text)
{
    m_statusText = text;
    Q_EMIT statusTextChanged(text);
}

} // namespace kestrelon
