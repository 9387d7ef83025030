#include "core/AsyncLineWriter.h"
#include "core/LoopTurn.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

using namespace kestrelon;
using kestrelon::test::finishesInTime;

namespace {

// What the pipe holds or gets within a while; empty when nothing comes.
std::string readSome(int fd)
{
    char buffer[65536];
    pollfd p{fd, POLLIN, 0};
    ssize_t n = ::poll(&p, 1, 5000) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

} // namespace

TEST(AsyncLineWriter, AReaderThatDoesNotReadHoldsNobodyUpAndLosesOnlyWhatDidNotFit)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    // Leaked should a call block: the thread left behind still uses it.
    auto* writer = new AsyncLineWriter(fds[1], AsyncLineWriter::Limits{100, 1 << 20});
    // The pipe takes some 600 of these lines, the queue 100 more; the rest are dropped.
    constexpr size_t kLines = 5000;
    ASSERT_TRUE(finishesInTime([&] {
        for (size_t i = 0; i < kLines; ++i) {
            writer->write("line " + std::to_string(i) + " " + std::string(100, '.'));
        }
    })) << "write() waited for the reader";

    // The lines arrive in order, each run of dropped ones replaced by a mark that counts them.
    size_t next = 0, marks = 0;
    std::string pending;
    for (std::string chunk; next < kLines && !(chunk = readSome(fds[0])).empty();) {
        pending += chunk;
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line.rfind("line ", 0) == 0) {
                EXPECT_EQ(line.substr(0, line.find(' ', 5)), "line " + std::to_string(next++));
            } else {
                next += std::stoul(line);
                EXPECT_EQ(line, AsyncLineWriter::droppedMark(std::stoul(line)));
                ++marks;
            }
        }
    }
    EXPECT_EQ(next, kLines);
    EXPECT_GE(marks, 1u);
    writer->write("after");
    EXPECT_EQ(pending + readSome(fds[0]), "after\n");

    // Neither flush() nor the destructor waits for a reader that never reads.
    for (int i = 0; i < 50; ++i) {
        writer->write(std::string(60000, 'f'));
    }
    EXPECT_FALSE(writer->flush(std::chrono::milliseconds(100)));
    EXPECT_TRUE(finishesInTime([&] { delete writer; }));

    // A reader that has gone costs nothing (without SIGPIPE blocked on the writer's thread this
    // would end the test program).
    ::close(fds[0]);
    int more[2];
    ASSERT_EQ(::pipe2(more, O_CLOEXEC), 0);
    ::close(more[0]);
    AsyncLineWriter orphan(more[1]);
    orphan.write("nobody reads this");
    EXPECT_TRUE(orphan.flush(std::chrono::seconds(5)));
}

TEST(AsyncLineWriter, LinesThatComeTogetherGoOutInFewWrites)
{
    // Each write on a packet socket arrives as one packet: the packets count the writes.
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    int big = 4 << 20;
    ::setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    ::setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    std::string expected;
    {
        AsyncLineWriter writer(fds[1]);
        for (int i = 0; i < 2000; ++i) {
            const std::string line = "line " + std::to_string(i);
            writer.write("server: ", line);
            expected += "server: " + line + "\n";
        }
        ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
    }
    ::close(fds[1]);
    std::string received;
    size_t packets = 0;
    static char buffer[1 << 20];
    for (ssize_t n; (n = ::recv(fds[0], buffer, sizeof buffer, 0)) > 0; ++packets) {
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    EXPECT_TRUE(received == expected);
    EXPECT_LT(packets, 20u);
}

TEST(AsyncLineWriter, LinesOfManyThreadsKeepTheOrderTheyWereWrittenIn)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    std::string received;
    std::thread reader([&] {
        char buffer[65536];
        for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<size_t>(n));
        }
    });
    {
        AsyncLineWriter writer(fds[1]);
        // Two threads take turns: each line is written only after the other thread's last one,
        // so the lines must come out alternating, whatever lanes the threads write into.
        constexpr int kTurns = 3000;
        std::mutex mutex;
        std::condition_variable turn;
        int next = 0;
        auto player = [&](int me) {
            for (int i = me; i < kTurns; i += 2) {
                std::unique_lock lock(mutex);
                turn.wait(lock, [&] { return next == i; });
                writer.write("t: ", std::to_string(i));
                ++next;
                turn.notify_all();
            }
        };
        std::thread a(player, 0), b(player, 1);
        // Meanwhile a third thread writes lines of its own, which keep their order among themselves.
        std::thread c([&] {
            for (int i = 0; i < kTurns; ++i) {
                writer.write("c: ", std::to_string(i));
            }
        });
        a.join();
        b.join();
        c.join();
        ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
    }
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    int turns = 0, own = 0;
    std::istringstream lines(received);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("t: ", 0) == 0) {
            ASSERT_EQ(line, "t: " + std::to_string(turns++));
        } else {
            ASSERT_EQ(line, "c: " + std::to_string(own++));
        }
    }
    EXPECT_EQ(turns, 3000);
    EXPECT_EQ(own, 3000);
}

TEST(AsyncLineWriter, TheLinesOfALoopTurnGoOutTogetherWhenTheTurnIsOver)
{
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    auto held = [&] {
        char buffer[65536];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    };
    AsyncLineWriter writer(fds[1]);
    AsyncLineWriter other(fds[1]);
    std::vector<LoopTurn::Task> posted;
    {
        const LoopTurn turn([&posted](LoopTurn::Task task) { posted.push_back(task); });
        writer.write("a: ", "1");
        writer.write("a: ", "2");
        // One call for the turn, however many lines.
        EXPECT_EQ(posted.size(), 1u);
        ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
        EXPECT_EQ(held(), "");

        // The turn is over: the lines go out, in order.
        posted.front()();
        posted.clear();
        ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
        EXPECT_EQ(held(), "a: 1\na: 2\n");

        // Lines for another writer: what waits for the first goes first.
        writer.write("a: ", "3");
        other.write("b: ", "1");
        ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
        EXPECT_EQ(held(), "a: 3\n");

        // A turn that writes much passes its lines on before it is over.
        const std::string line(1000, 'x');
        for (int i = 0; i < 20; ++i) {
            other.write("b: ", line);
        }
        ASSERT_TRUE(other.flush(std::chrono::seconds(5)));
        std::string out;
        for (std::string part; !(part = held()).empty();) {
            out += part;
        }
        EXPECT_EQ(out.rfind("b: 1\nb: xxx", 0), 0u);
        EXPECT_LT(out.size(), 20 * 1004 + 5);
        // The loop stops with lines waiting: they go out all the same.
        other.write("b: ", "last");
    }
    ASSERT_TRUE(other.flush(std::chrono::seconds(5)));
    std::string out;
    for (std::string part; !(part = held()).empty();) {
        out += part;
    }
    EXPECT_TRUE(out.size() >= 5 && out.compare(out.size() - 5, 5, "last\n") == 0) << out.size();
    // Without a loop a line is queued at once.
    EXPECT_FALSE(LoopTurn::active());
    writer.write("a: ", "4");
    ASSERT_TRUE(writer.flush(std::chrono::seconds(5)));
    EXPECT_EQ(held(), "a: 4\n");
    ::close(fds[0]);
    ::close(fds[1]);
}
