#include "web/MessageLog.h"
#include "core/AsyncLineWriter.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <regex>
#include <thread>
#include <vector>

using namespace kestrelon;
using kestrelon::test::finishesInTime;

TEST(MessageLog, LineFormat)
{
    MessageLog log([] { return true; });
    log.DisplayMessage("Server stopped");
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d   Server stopped)")))
        << lines[0];
    // 1 March 2021 14:05:09 UTC shown in local time; check the shape with a fixed zone.
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(MessageLog::stamp(1614607509), "01/03/2021 14:05:09");
}

TEST(MessageLog, ControlCharactersCannotForgeLines)
{
    MessageLog log([] { return true; });
    log.DisplayMessage("Command GET /a\r\n01/01/2020 00:00:00   Server stopped\x7f\t received");
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(22), "Command GET /a??01/01/2020 00:00:00   Server stopped?? received");
    // Bytes above 0x7F (UTF-8 names) stay as they are.
    EXPECT_EQ(withoutControlChars("caf\xc3\xa9"), "caf\xc3\xa9");

    // Texts are looked at a word at a time: every byte that borders on the rule, at every place
    // in and across the words, kept in the log and (headless) put together where the mirror
    // keeps it, from one text or from parts.
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ASSERT_GT(::fcntl(fds[1], F_SETPIPE_SZ, 1 << 20), 0); // holds every line: read after the flush
    auto writer = std::make_shared<AsyncLineWriter>(fds[1]);
    MessageLog headless([] { return true; });
    headless.setKeepsLines(false);
    headless.mirrorTo(writer, "server: ");
    const std::string edges("\x00\x1f\x20\x7e\x7f\x80\xc3\xff", 8);
    auto shown = [](std::string text) {
        for (char& c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                c = '?';
            }
        }
        return text;
    };
    std::string expected;
    for (size_t length = 1; length <= 20; ++length) {
        for (size_t at = 0; at < length; ++at) {
            for (const char edge : edges) {
                std::string text(length, 'x');
                text[at] = edge;
                text[length - 1 - at] = edge;
                log.DisplayMessage(text);
                EXPECT_EQ(log.lines().back().substr(22), shown(text));
                EXPECT_EQ(withoutControlChars(text), shown(text));
                const std::string_view whole(text);
                headless.DisplayMessage({whole.substr(0, at), whole.substr(at)});
                expected += shown(text) + "\n";
            }
        }
    }
    // Pieces of every length up to past the longest copied inline, in both places of a line:
    // every byte of them lands where it belongs.
    for (size_t length = 1; length <= 80; ++length) {
        std::string text(length, 'x');
        for (size_t i = 0; i < length; ++i) {
            text[i] = static_cast<char>('!' + (i * 37 + length) % 94);
        }
        for (size_t at = 0; at <= length; at += 1 + at / 16) {
            const std::string_view whole(text);
            headless.DisplayMessage({whole.substr(0, at), whole.substr(at)});
            expected += text + "\n";
        }
    }
    ASSERT_TRUE(writer->flush(std::chrono::seconds(5)));
    writer.reset();
    headless.mirrorTo(nullptr, {});
    ::close(fds[1]);
    std::string received;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    EXPECT_EQ(std::regex_replace(received, std::regex("server: [0-9/]+ [0-9:]+   "), ""), expected);
}

TEST(MessageLog, LimitAppliesEvenWhileDisabled)
{
    std::atomic<bool> enabled{true};
    MessageLog log([&] { return enabled.load(); });
    for (size_t i = 0; i < MessageLog::kMaxLines; ++i) {
        log.DisplayMessage("x");
    }
    log.DisplayMessage("32001st");
    EXPECT_EQ(log.lineCount(), MessageLog::kMaxLines + 1);
    // More than 32000 lines: the next call empties the log first, then adds its line.
    log.DisplayMessage("fresh");
    ASSERT_EQ(log.lineCount(), 1u);
    EXPECT_EQ(log.lines()[0].substr(22), "fresh");

    for (size_t i = 1; i < MessageLog::kMaxLines; ++i) {
        log.DisplayMessage("x");
    }
    enabled = false;
    log.DisplayMessage("not logged"); // exactly 32000 lines: kept, nothing added
    EXPECT_EQ(log.lineCount(), MessageLog::kMaxLines);
    enabled = true;
    log.DisplayMessage("32001st");
    enabled = false;
    log.DisplayMessage("not logged either"); // more than 32000: emptied, still nothing added
    EXPECT_EQ(log.lineCount(), 0u);
}

TEST(MessageLog, ParallelWritersLoseNothingAndTheSinkSeesEveryLine)
{
    MessageLog log([] { return true; });
    std::atomic<int> sunk{0};
    log.setSink([&](const std::string&) { ++sunk; });
    int notifications = 0;
    QObject::connect(&log, &MessageLog::changed, [&] { ++notifications; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < 1000; ++i) {
                log.DisplayMessage("thread " + std::to_string(t) + " line " + std::to_string(i));
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(log.lineCount(), 8000u);
    EXPECT_EQ(sunk.load(), 8000);
    // Notifications are coalesced until a reader takes the lines.
    EXPECT_EQ(notifications, 1);
    log.lines();
    log.DisplayMessage("after reading");
    EXPECT_EQ(notifications, 2);
    log.clear();
    EXPECT_EQ(log.lineCount(), 0u);
}

TEST(MessageLog, ViewsReadOnlyWhatIsNew)
{
    MessageLog log([] { return true; });
    log.DisplayMessage("one");
    log.DisplayMessage("two");
    auto tail = log.linesSince(0, 0); // a new view: everything
    ASSERT_EQ(tail.lines.size(), 2u);
    EXPECT_EQ(tail.first, 0u);
    log.DisplayMessage("three");
    auto next = log.linesSince(tail.epoch, 2);
    EXPECT_EQ(next.epoch, tail.epoch);
    EXPECT_EQ(next.first, 2u);
    ASSERT_EQ(next.lines.size(), 1u);
    EXPECT_EQ(next.lines[0].substr(22), "three");
    // Emptied and refilled: a view of the old epoch gets everything anew.
    log.clear();
    log.DisplayMessage("four");
    auto fresh = log.linesSince(tail.epoch, 3);
    EXPECT_NE(fresh.epoch, tail.epoch);
    EXPECT_EQ(fresh.first, 0u);
    ASSERT_EQ(fresh.lines.size(), 1u);
    EXPECT_EQ(fresh.lines[0].substr(22), "four");
}

TEST(MessageLog, LongTextsAreCutAndTheLogIsBoundedInBytes)
{
    MessageLog log([] { return true; });
    log.DisplayMessage(std::string(5000, 'a'));
    std::string message = log.lines()[0].substr(22);
    EXPECT_EQ(message, std::string(MessageLog::kMaxMessageBytes, 'a') + "[... 2952 bytes cut]");
    // A cut never splits a character.
    EXPECT_EQ(clippedText("ab\xc3\xa9z", 3), "ab[... 3 bytes cut]");
    EXPECT_EQ(clippedText("short", 5), "short");

    // Long lines empty the log by their bytes long before the line limit.
    const std::string text(2000, 'b');
    size_t most = 0;
    uint64_t epoch = log.linesSince(0, 0).epoch;
    for (size_t i = 0; i < 2 * MessageLog::kMaxBytes / text.size(); ++i) {
        log.DisplayMessage(text);
        most = std::max(most, log.lineCount());
    }
    EXPECT_LE(most * (text.size() + 22), MessageLog::kMaxBytes + 2 * (text.size() + 22));
    EXPECT_GT(most, MessageLog::kMaxBytes / (text.size() + 22) - 2);
    EXPECT_NE(log.linesSince(epoch, 0).epoch, epoch);
}

TEST(MessageLog, TheSinkRunsOutsideTheLogsLock)
{
    // A sink may use the log itself (and must never hold up others that log or read). Leaked
    // should the call block: the thread left behind still uses it.
    auto* log = new MessageLog([] { return true; });
    std::atomic<size_t> seen{0};
    log->setSink([&](const std::string&) { seen = log->lineCount(); });
    ASSERT_TRUE(finishesInTime([&] {
        log->DisplayMessage("one");
        log->DisplayMessage("two");
    })) << "the sink was called under the log's lock";
    EXPECT_EQ(seen.load(), 1u); // the sink gets each line just before the log keeps it
    EXPECT_EQ(log->lineCount(), 2u);
    delete log;
}
