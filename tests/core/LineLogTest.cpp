// The line log as the logs other than the Message log use it: stamps on an injected clock, the
// line rule applied by its owner, "Save Log" and the headless mirror. The Message log's tests
// cover the rest (bounds on append, control characters, parallel writers, readers of new lines).
#include "core/LineLog.h"
#include "core/AsyncLineWriter.h"
#include "support/LocalTime.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

TEST(LineLog, StampsComeFromTheClockAndTheOwnerAppliesTheLineRule)
{
    auto now = localTime(2026, 12, 8, 14, 3, 5);
    LineLog::Options options;
    options.stampPattern = "ddddd tt";
    options.stampSeparator = " - ";
    options.lineLimit = LineLog::LineLimit::WhenAsked;
    options.clock = [&] { return now; };
    LineLog stamped(options);
    stamped.append("first");
    now += std::chrono::seconds(1);
    stamped.append("second");
    EXPECT_EQ(stamped.lines(),
              (std::vector<std::string>{"08/12/2026 14:03:05 - first", "08/12/2026 14:03:06 - second"}));

    // Beyond the line limit the log keeps growing until its owner asks.
    for (size_t i = 0; i < LineLog::kMaxLines; ++i) {
        stamped.append("x");
    }
    EXPECT_EQ(stamped.lineCount(), LineLog::kMaxLines + 2);
    EXPECT_TRUE(stamped.emptyIfFull());
    EXPECT_EQ(stamped.lineCount(), 0u);
    EXPECT_FALSE(stamped.emptyIfFull());
    // The byte bound holds all the same.
    const std::string text(LineLog::kMaxLineBytes, 'b');
    size_t most = 0;
    for (size_t i = 0; i < 2 * LineLog::kMaxBytes / text.size(); ++i) {
        stamped.append(text);
        most = std::max(most, stamped.lineCount());
    }
    EXPECT_LT(most, LineLog::kMaxBytes / text.size() + 2);

    // Unstamped: the texts as they are.
    LineLog plain;
    plain.append("        (Server - no response)");
    EXPECT_EQ(plain.lines(), std::vector<std::string>{"        (Server - no response)"});
}

TEST(LineLog, SaveLogWritesEveryLineOrSaysWhyNot)
{
    TempDir dir;
    LineLog log;
    log.append("one");
    log.append("two");
    const std::string file = dir.write("old.txt", "old contents\n");
    EXPECT_TRUE(log.save(file).ok());
    EXPECT_EQ(readFile(file), "one\ntwo\n");

    const Outcome failed = log.save(dir.path() + "/missing/log.txt");
    EXPECT_FALSE(failed.ok());
    EXPECT_FALSE(failed.error().empty());
}

TEST(LineLog, TheMirrorPrefixesEachLineAndTheLogGoesOnWithoutIt)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    auto writer = std::make_shared<AsyncLineWriter>(fds[1]);
    LineLog log;
    log.mirrorTo(writer, "time: ");
    log.append("12:00:00");
    log.append("bad\nline");
    log.mirrorTo(nullptr, {});
    log.append("not mirrored");
    ASSERT_TRUE(writer->flush(std::chrono::seconds(5)));
    writer.reset();
    ::close(fds[1]);
    std::string received;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        received.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    EXPECT_EQ(received, "time: 12:00:00\ntime: bad?line\n");
    EXPECT_EQ(log.lineCount(), 3u);

    // A log nobody reads lets go of its lines and keeps none from then on; the mirror still gets
    // every one, and keeping can resume.
    std::vector<std::string> mirrored;
    log.setSink([&mirrored](const std::string& line) { mirrored.push_back(line); });
    log.setKeepsLines(false);
    EXPECT_EQ(log.lineCount(), 0u);
    log.append("only mirrored");
    EXPECT_EQ(log.lineCount(), 0u);
    log.setKeepsLines(true);
    log.append("kept again");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"kept again"});
    EXPECT_EQ(mirrored, (std::vector<std::string>{"only mirrored", "kept again"}));
}
