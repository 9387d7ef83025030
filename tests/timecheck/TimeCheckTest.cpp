// The time check against real servers on loopback, with its clock injected and a clock setter
// that only records; and the headless program's start-up check.
#include "timecheck/TimeCheck.h"
#include "core/DateTimePattern.h"
#include "core/IniFile.h"
#include "core/SettingsModel.h"
#include "support/GuiApplication.h"
#include "support/HeadlessProgram.h"
#include "support/LocalTime.h"
#include "support/ServerFixture.h"
#include "support/TempDir.h"
#include "support/TimeTestServers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <ctime>
#include <regex>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;
using std::chrono::system_clock;

namespace {

const std::string kServerTime = "16:45:23";
const std::string kPcTime = "16:45:30";
const std::string kAnswerLine = kServerTime + std::string(15, ' ') + kPcTime;
const std::string kNoResponseLine = std::string(26, ' ') + kPcTime + "        (Server - no response)";

// Watches a check's signals.
struct Watcher {
    explicit Watcher(TimeCheck& check)
    {
        QObject::connect(&check, &TimeCheck::statusTextChanged, [this](const QString& t) { statuses << t; });
        QObject::connect(&check, &TimeCheck::dailyStateChanged, [this](bool on) { states.push_back(on); });
        QObject::connect(&check, &TimeCheck::checkFinished, [this] { ++finished; });
    }
    QStringList statuses;
    std::vector<bool> states;
    int finished = 0;
};

class TimeCheckTest : public ::testing::Test {
protected:
    TimeCheckTest() : settings(Settings::defaults(dir.path())) { ensureGuiApplication(); }

    std::unique_ptr<TimeCheck> make(ClockSetter& setter, TimeClient::Options options = {})
    {
        return std::make_unique<TimeCheck>(
            settings, setter, [this] { return now.load(); }, options);
    }
    void change(const std::function<void(TimeServerSettings&)>& f)
    {
        settings.update([&](Settings& s) { f(s.TimeServer); });
    }
    // Clicks "Check Now" and waits until the check has ended.
    bool check(TimeCheck& timeCheck, Watcher& watcher)
    {
        const int before = watcher.finished;
        timeCheck.checkNow();
        return processUntil([&] { return watcher.finished > before; });
    }
    std::string last() const { return settings.snapshot()->TimeServer.Last; }

    TempDir dir;
    SettingsModel settings;
    // 12 February 2005, a Saturday: the server says 16:45:23, the PC clock 16:45:30.
    const system_clock::time_point serverTime = localTime(2005, 2, 12, 16, 45, 23);
    std::atomic<system_clock::time_point> now{localTime(2005, 2, 12, 16, 45, 30)};
    const uint32_t serverValue = TinyTimeServer::valueOf(serverTime);
};

} // namespace

TEST_F(TimeCheckTest, AnAnswerIsLoggedShownAndRememberedInThePattern)
{
    TinyTimeServer server(TinyTimeServer::Reply::of(serverValue));
    change([&](TimeServerSettings& t) {
        t.Server = server.address();
        t.Format = "ddd dd mmm yyyy  hh:nn:ss";
    });
    RecordingClockSetter setter;
    auto timeCheck = make(setter);
    Watcher watcher(*timeCheck);

    ASSERT_TRUE(check(*timeCheck, watcher));
    EXPECT_EQ(timeCheck->log().lines(), std::vector<std::string>{kAnswerLine});
    EXPECT_EQ(timeCheck->timeText(), "Sat 12 Feb 2005  16:45:23");
    EXPECT_EQ(last(), "Sat 12 Feb 2005  16:45:23");
    EXPECT_EQ(watcher.statuses, QStringList({"Connecting to Time Server...", ""}));
    EXPECT_TRUE(timeCheck->statusText().isEmpty());
    EXPECT_TRUE(timeCheck->lastError().empty());
    EXPECT_TRUE(setter.times().empty()); // "Adjust PC clock" is off

    // No pattern: the default date-and-time rendering.
    change([](TimeServerSettings& t) { t.Format.clear(); });
    ASSERT_TRUE(check(*timeCheck, watcher));
    EXPECT_EQ(timeCheck->timeText(), "12/02/2005 16:45:23");
    EXPECT_EQ(last(), "12/02/2005 16:45:23");
    EXPECT_EQ(timeCheck->log().lineCount(), 2u);
}

TEST_F(TimeCheckTest, NoResponseIsLoggedAndTheDisplaysKeepTheirTexts)
{
    TinyTimeServer server({TinyTimeServer::Reply::close(), TinyTimeServer::Reply::threeBytes(),
                           TinyTimeServer::Reply::nothing(), TinyTimeServer::Reply::reset()});
    uint16_t refusedPort = 0;
    {
        TinyTimeServer gone(TinyTimeServer::Reply::close());
        refusedPort = gone.port();
    }
    change([](TimeServerSettings& t) { t.Last = "before"; });
    RecordingClockSetter setter;
    auto timeCheck = make(setter);
    Watcher watcher(*timeCheck);

    // Closed at once, three bytes, nothing within 2500 ms, a reset; refused; not an address.
    const std::vector<std::string> servers = {server.address(),
                                              server.address(),
                                              server.address(),
                                              server.address(),
                                              "127.0.0.1:" + std::to_string(refusedPort),
                                              "127.0.0.1:0"};
    for (const std::string& address : servers) {
        change([&](TimeServerSettings& t) { t.Server = address; });
        ASSERT_TRUE(check(*timeCheck, watcher)) << address;
        EXPECT_EQ(timeCheck->log().lines().back(), kNoResponseLine) << address;
        EXPECT_FALSE(timeCheck->lastError().empty());
    }
    EXPECT_EQ(server.connections(), 4);
    EXPECT_EQ(timeCheck->log().lineCount(), servers.size());
    EXPECT_EQ(last(), "before");
    EXPECT_EQ(timeCheck->timeText(), "");
    EXPECT_EQ(watcher.statuses.size(), 2 * static_cast<qsizetype>(servers.size()));
    EXPECT_EQ(watcher.statuses.last(), "");
}

TEST_F(TimeCheckTest, AdjustPcClockSetsTheClockFromASecondAnswer)
{
    const uint32_t later = TinyTimeServer::valueOf(serverTime + 1s);
    change([](TimeServerSettings& t) {
        t.PCAdjust = true;
        t.Format = "hh:nn:ss";
    });
    {
        // The clock could be set: the line says so, and the setter got the second answer.
        TinyTimeServer server({TinyTimeServer::Reply::of(serverValue), TinyTimeServer::Reply::of(later)});
        change([&](TimeServerSettings& t) { t.Server = server.address(); });
        RecordingClockSetter setter(true);
        auto timeCheck = make(setter);
        Watcher w(*timeCheck);
        ASSERT_TRUE(check(*timeCheck, w));
        EXPECT_EQ(timeCheck->log().lines(), std::vector<std::string>{kAnswerLine + "        (Adjusted)"});
        ASSERT_EQ(setter.times().size(), 1u);
        EXPECT_GE(setter.times()[0], serverTime + 1s);
        EXPECT_LT(setter.times()[0], serverTime + 2s);
        EXPECT_EQ(server.connections(), 2);
        EXPECT_EQ(last(), kServerTime); // the first answer's time
    }
    {
        // It could not: no "(Adjusted)".
        TinyTimeServer server(TinyTimeServer::Reply::of(serverValue));
        change([&](TimeServerSettings& t) { t.Server = server.address(); });
        RecordingClockSetter setter(false);
        auto timeCheck = make(setter);
        Watcher w(*timeCheck);
        ASSERT_TRUE(check(*timeCheck, w));
        EXPECT_EQ(timeCheck->log().lines(), std::vector<std::string>{kAnswerLine});
        EXPECT_EQ(setter.times().size(), 1u);
    }
    {
        // The second query gives no time: the clock stays, the first answer counts.
        TinyTimeServer server({TinyTimeServer::Reply::of(serverValue), TinyTimeServer::Reply::close()});
        change([&](TimeServerSettings& t) {
            t.Server = server.address();
            t.Last = "before";
        });
        RecordingClockSetter setter(true);
        auto timeCheck = make(setter);
        Watcher w(*timeCheck);
        ASSERT_TRUE(check(*timeCheck, w));
        EXPECT_EQ(timeCheck->log().lines(), std::vector<std::string>{kAnswerLine});
        EXPECT_TRUE(setter.times().empty());
        EXPECT_EQ(last(), kServerTime);
    }
    {
        // The second connection breaks: no response, although the first time is on display.
        TinyTimeServer server({TinyTimeServer::Reply::of(serverValue), TinyTimeServer::Reply::reset()});
        change([&](TimeServerSettings& t) {
            t.Server = server.address();
            t.Last = "before";
        });
        RecordingClockSetter setter(true);
        auto timeCheck = make(setter);
        Watcher w(*timeCheck);
        ASSERT_TRUE(check(*timeCheck, w));
        EXPECT_EQ(timeCheck->log().lines(), std::vector<std::string>{kNoResponseLine});
        EXPECT_TRUE(setter.times().empty());
        EXPECT_EQ(timeCheck->timeText(), QString::fromStdString(kServerTime));
        EXPECT_EQ(last(), "before");
    }
    {
        // xinetd, on the real clock: the setter gets the system's time.
        XinetdTimeServer xinetd;
        change([&](TimeServerSettings& t) { t.Server = xinetd.address(); });
        RecordingClockSetter setter(true);
        TimeCheck timeCheck(settings, setter);
        Watcher w(timeCheck);
        ASSERT_TRUE(check(timeCheck, w));
        ASSERT_EQ(setter.times().size(), 1u) << timeCheck.lastError();
        EXPECT_LT(std::abs(std::chrono::duration<double>(setter.times()[0] - system_clock::now()).count()),
                  3.0);
        const std::string line = timeCheck.log().lines().at(0);
        EXPECT_TRUE(
            std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d {15}\d\d:\d\d:\d\d {8}\(Adjusted\))")))
            << line;
    }
}

TEST_F(TimeCheckTest, OneCheckAtATimeAndTheCallerNeverWaits)
{
    TinyTimeServer server(TinyTimeServer::Reply::of(serverValue, 500ms));
    change([&](TimeServerSettings& t) { t.Server = server.address(); });
    RecordingClockSetter setter;
    // Waits far longer than the test, so only the stop can end the silent check below.
    TimeClient::Options patient;
    patient.answerTimeout = 10min;
    auto timeCheck = make(setter, patient);
    Watcher watcher(*timeCheck);

    const auto started = std::chrono::steady_clock::now();
    timeCheck->checkNow();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 200ms);
    EXPECT_TRUE(timeCheck->checking());
    EXPECT_EQ(timeCheck->statusText(), "Connecting to Time Server...");
    // Clicks while it runs do nothing.
    timeCheck->checkNow();
    ASSERT_TRUE(processUntil([&] { return server.connections() == 1; }));
    timeCheck->checkNow();
    ASSERT_TRUE(processUntil([&] { return watcher.finished == 1; }));
    EXPECT_EQ(timeCheck->log().lineCount(), 1u);
    EXPECT_FALSE(timeCheck->checking());

    // Once it is over, the next click checks again, and it is the next check to run: a click
    // taken while the first one ran would come first and ask the first server again.
    TinyTimeServer next(TinyTimeServer::Reply::of(serverValue));
    change([&](TimeServerSettings& t) { t.Server = next.address(); });
    ASSERT_TRUE(check(*timeCheck, watcher));
    EXPECT_EQ(next.connections(), 1);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(timeCheck->log().lineCount(), 2u);

    // A check still running when the object goes is cut short.
    TinyTimeServer silent(TinyTimeServer::Reply::nothing());
    change([&](TimeServerSettings& t) { t.Server = silent.address(); });
    timeCheck->checkNow();
    ASSERT_TRUE(processUntil([&] { return silent.connections() == 1; }));
    const auto ending = std::chrono::steady_clock::now();
    timeCheck.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - ending, 5s);
}

TEST_F(TimeCheckTest, ALogOfMoreThan32000LinesIsEmptiedBeforeTheNextLine)
{
    TinyTimeServer server(TinyTimeServer::Reply::of(serverValue));
    change([&](TimeServerSettings& t) { t.Server = server.address(); });
    RecordingClockSetter setter;
    auto timeCheck = make(setter);
    Watcher watcher(*timeCheck);
    // How often the log was emptied.
    const uint64_t epoch = timeCheck->log().position().epoch;
    auto cleared = [&] { return timeCheck->log().position().epoch - epoch; };

    for (int i = 0; i < 32000; ++i) {
        timeCheck->log().append("old");
    }
    ASSERT_TRUE(check(*timeCheck, watcher));
    EXPECT_EQ(timeCheck->log().lineCount(), 32001u); // 32000 is not more than 32000
    EXPECT_EQ(cleared(), 0u);
    ASSERT_TRUE(check(*timeCheck, watcher));
    EXPECT_EQ(timeCheck->log().lines(), std::vector<std::string>{kAnswerLine});
    EXPECT_EQ(cleared(), 1u);

    timeCheck->clearLog();
    EXPECT_EQ(timeCheck->log().lineCount(), 0u);
    EXPECT_EQ(cleared(), 2u);
}

TEST_F(TimeCheckTest, TheDailyCheckRunsAtItsMinuteWhileDailyIsSet)
{
    TinyTimeServer server(TinyTimeServer::Reply::of(serverValue));
    change([&](TimeServerSettings& t) {
        t.Server = server.address();
        t.Daily = true;
        t.DailyTime = 16 * 3600 + 45 * 60 + 50; // its seconds do not count
    });
    RecordingClockSetter setter;
    auto timeCheck = make(setter);
    Watcher watcher(*timeCheck);
    EXPECT_FALSE(timeCheck->dailyRunning());
    timeCheck->applyDailySetting();
    EXPECT_TRUE(timeCheck->dailyRunning());
    EXPECT_EQ(timeCheck->DailyTimer.interval(), 60000);
    EXPECT_EQ(watcher.states, std::vector<bool>{true});

    // The minute before: nothing. The minute itself: a check, once however often it ticks.
    now = localTime(2005, 2, 12, 16, 44, 59);
    timeCheck->dailyTick();
    EXPECT_FALSE(timeCheck->checking());
    now = localTime(2005, 2, 12, 16, 45, 0);
    timeCheck->dailyTick();
    EXPECT_TRUE(timeCheck->checking());
    ASSERT_TRUE(processUntil([&] { return watcher.finished == 1; }));
    now = localTime(2005, 2, 12, 16, 45, 59);
    timeCheck->dailyTick();
    EXPECT_FALSE(timeCheck->checking());
    now = localTime(2005, 2, 12, 16, 46, 0);
    timeCheck->dailyTick();
    EXPECT_FALSE(timeCheck->checking());
    EXPECT_EQ(server.connections(), 1);

    // The timer itself drives it: the next day at the minute, ticking fast for the test.
    now = localTime(2005, 2, 13, 16, 45, 10);
    timeCheck->DailyTimer.setInterval(20);
    timeCheck->DailyTimer.start();
    ASSERT_TRUE(processUntil([&] { return watcher.finished == 2; }));
    timeCheck->DailyTimer.setInterval(TimeCheck::kDailyInterval);

    // Clearing "Check daily at:" stops it at once.
    change([](TimeServerSettings& t) { t.Daily = false; });
    timeCheck->applyDailySetting();
    EXPECT_FALSE(timeCheck->dailyRunning());
    EXPECT_FALSE(watcher.states.back());
    now = localTime(2005, 2, 14, 16, 45, 10);
    timeCheck->dailyTick();
    EXPECT_FALSE(timeCheck->checking());
    EXPECT_EQ(server.connections(), 2);

    // The timer follows the setting however it changes (a reload of the settings file too), as
    // part of the change itself.
    change([](TimeServerSettings& t) { t.Daily = true; });
    EXPECT_TRUE(timeCheck->dailyRunning());
    EXPECT_TRUE(watcher.states.back());
}

TEST_F(TimeCheckTest, TheClockDisplayRunsWhileThePageIsShown)
{
    change([](TimeServerSettings& t) { t.Format = "ddd dd mmm yyyy  hh:nn:ss"; });
    RecordingClockSetter setter;
    auto timeCheck = make(setter);
    QStringList shown;
    QObject::connect(timeCheck.get(), &TimeCheck::timeTextChanged, [&](const QString& t) { shown << t; });

    timeCheck->startClockDisplay();
    EXPECT_TRUE(timeCheck->DateTimeTimer.isActive());
    EXPECT_EQ(timeCheck->DateTimeTimer.interval(), 1000);
    EXPECT_EQ(timeCheck->timeText(), "Sat 12 Feb 2005  16:45:30");
    now = localTime(2005, 2, 12, 16, 45, 31);
    ASSERT_TRUE(processUntil([&] { return shown.size() == 2; }, 3s));
    EXPECT_EQ(shown.last(), "Sat 12 Feb 2005  16:45:31");
    change([](TimeServerSettings& t) { t.Format.clear(); });
    timeCheck->showCurrentTime();
    EXPECT_EQ(timeCheck->timeText(), "12/02/2005 16:45:31");

    timeCheck->stopClockDisplay();
    EXPECT_FALSE(timeCheck->DateTimeTimer.isActive());
}

TEST(TimeCheckHeadless, TheStartUpCheckWritesItsLineToStandardError)
{
    XinetdTimeServer xinetd;
    TempDir dir;
    const std::string ini = dir.write(
        "kestrelon.ini", "[WebServe]\nPort=0\nRevDNS=0\n[TimeServer]\nAuto=1\nServer=" + xinetd.address() +
                             "\nFormat=yyyy-mm-dd hh:nn:ss\n");
    HeadlessProgram program(
        KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1", "-nolookup", "-noexternal"});
    const auto line =
        program.waitForLine(std::regex(R"(^time: (\d\d:\d\d:\d\d) {15}(\d\d:\d\d:\d\d)$)"), 15s);
    ASSERT_TRUE(line) << xinetd.logText();
    program.terminate();
    EXPECT_EQ(program.waitForExit(10s), 0);
    // The server time of the check is remembered in the settings file.
    const std::string last = IniFile(readFile(ini)).value("TimeServer", "Last").value_or("");
    EXPECT_TRUE(std::regex_match(last, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << last;
    EXPECT_EQ(last.substr(11), (*line)[1].str());
}
