// The RFC 868 client against real servers on loopback: xinetd's time service and a tiny server
// that answers late, too little or not at all.
#include "timecheck/TimeClient.h"
#include "support/TimeTestServers.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;
using std::chrono::system_clock;

namespace {

// A UTC date and time.
system_clock::time_point utc(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                             int second = 0)
{
    using namespace std::chrono;
    return sys_days(std::chrono::year(year) / month / day) + hours(hour) + minutes(minute) + seconds(second);
}

double secondsBetween(system_clock::time_point a, system_clock::time_point b)
{
    return std::chrono::duration<double>(a - b).count();
}

} // namespace

TEST(TimeClient, XinetdsAnswerIsTheSystemClock)
{
    XinetdTimeServer xinetd;
    TimeClient client;
    const auto answer = client.query(xinetd.address(), system_clock::now());
    ASSERT_TRUE(answer.answered()) << answer.error << "\n" << xinetd.logText();
    // xinetd reads the same clock; it tells whole seconds.
    EXPECT_LT(std::abs(secondsBetween(answer.time, system_clock::now())), 3.0);
}

TEST(TimeClient, FewerThanFourBytesIsNoAnswerNeverMidnight)
{
    TinyTimeServer server({TinyTimeServer::Reply::close(), TinyTimeServer::Reply::threeBytes(),
                           TinyTimeServer::Reply::nothing()});
    TimeClient client;
    const auto now = system_clock::now();

    const auto closed = client.query(server.address(), now);
    EXPECT_EQ(closed.outcome, TimeAnswer::Outcome::NoAnswer);
    EXPECT_NE(closed.error.find("closed"), std::string::npos) << closed.error;

    // Three bytes, then silence: the wait for the fourth ends after 2500 ms.
    auto started = std::chrono::steady_clock::now();
    const auto three = client.query(server.address(), now);
    auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(three.outcome, TimeAnswer::Outcome::NoAnswer);
    EXPECT_NE(three.error.find("3 of 4 bytes"), std::string::npos) << three.error;
    EXPECT_GE(waited, 2400ms);
    EXPECT_LT(waited, 4000ms);

    started = std::chrono::steady_clock::now();
    const auto silent = client.query(server.address(), now);
    waited = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(silent.outcome, TimeAnswer::Outcome::NoAnswer);
    EXPECT_NE(silent.error.find("0 of 4 bytes"), std::string::npos) << silent.error;
    EXPECT_GE(waited, 2400ms);
    EXPECT_LT(waited, 4000ms);
    EXPECT_EQ(server.connections(), 3);
    for (const auto* answer : {&closed, &three, &silent}) {
        EXPECT_EQ(answer->time, system_clock::time_point{});
    }
}

TEST(TimeClient, NoConnectionFailsAtOnce)
{
    TimeClient client;
    const auto now = system_clock::now();
    // A port nobody listens on.
    uint16_t port = 0;
    {
        TinyTimeServer gone(TinyTimeServer::Reply::close());
        port = gone.port();
    }
    const auto started = std::chrono::steady_clock::now();
    const auto refused = client.query("127.0.0.1:" + std::to_string(port), now);
    EXPECT_EQ(refused.outcome, TimeAnswer::Outcome::Failed);
    EXPECT_NE(refused.error.find("refused"), std::string::npos) << refused.error;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);

    for (const char* bad : {"", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:37x", "[::1"}) {
        const auto answer = client.query(bad, now);
        EXPECT_EQ(answer.outcome, TimeAnswer::Outcome::Failed) << bad;
        EXPECT_NE(answer.error.find("not a time server address"), std::string::npos) << bad;
    }
}

TEST(TimeClient, HalfTheRoundTripIsAdded)
{
    const auto serverTime = utc(2026, 5, 4, 12, 0, 0);
    TinyTimeServer server(TinyTimeServer::Reply::of(TinyTimeServer::valueOf(serverTime), 400ms));
    TimeClient client;
    const auto answer = client.query(server.address(), serverTime);
    ASSERT_TRUE(answer.answered()) << answer.error;
    EXPECT_EQ(answer.value, TinyTimeServer::valueOf(serverTime));
    // 400 ms between connection and answer: 200 ms are added.
    const double added = secondsBetween(answer.time, serverTime);
    EXPECT_GE(added, 0.195);
    EXPECT_LT(added, 0.35);
}

TEST(TimeClient, TheEraNearestTheLocalClockIsTaken)
{
    // The 32-bit count wraps on 7 February 2036 at 06:28:16 UTC.
    const auto wrap = utc(2036, 2, 7, 6, 28, 16);
    EXPECT_EQ(TimeClient::timeFromValue(0, wrap + 1h), wrap);
    EXPECT_EQ(TimeClient::timeFromValue(0xFFFFFFFFu, wrap + 1h), wrap - 1s);
    EXPECT_EQ(TimeClient::timeFromValue(0xFFFFFFFFu, wrap - 1h), wrap - 1s);
    EXPECT_EQ(TimeClient::timeFromValue(10, wrap - 1h), wrap + 10s);
    // Far from any wrap, the plain reading; there is nothing before 1900.
    const auto may2005 = utc(2005, 5, 1);
    EXPECT_EQ(TimeClient::timeFromValue(TinyTimeServer::valueOf(may2005), may2005 + 24h), may2005);
    EXPECT_EQ(TimeClient::timeFromValue(0, utc(1905, 1, 1)), utc(1900, 1, 1));
    // 1970 lies nearer to 2036 than to 1900.
    EXPECT_EQ(TimeClient::timeFromValue(0, utc(1970, 1, 1)), wrap);
    // A clock reset to 1970 still reads a 2026 answer as 2026: that is the nearer era.
    EXPECT_EQ(TimeClient::timeFromValue(TinyTimeServer::valueOf(utc(2026, 1, 1)), utc(1970, 1, 1)),
              utc(2026, 1, 1));

    // Through a real answer: a value just past the wrap, with the local clock in 2036.
    TinyTimeServer server(TinyTimeServer::Reply::of(5));
    TimeClient client;
    const auto answer = client.query(server.address(), utc(2036, 2, 7, 6, 30));
    ASSERT_TRUE(answer.answered()) << answer.error;
    EXPECT_GE(answer.time, wrap + 5s);
    EXPECT_LT(answer.time, wrap + 6s);
    EXPECT_EQ(std::chrono::floor<std::chrono::days>(answer.time),
              std::chrono::sys_days(std::chrono::year(2036) / 2 / 7));
}

TEST(TimeClient, AStopRequestEndsTheWait)
{
    TinyTimeServer server(TinyTimeServer::Reply::nothing());
    TimeClient client;
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const auto answer = client.query(server.address(), system_clock::now(), stop.get_token());
    stopper.join();
    EXPECT_EQ(answer.outcome, TimeAnswer::Outcome::Failed);
    EXPECT_EQ(answer.error, "cancelled");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1000ms);
}
