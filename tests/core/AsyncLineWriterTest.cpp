#include "core/AsyncLineWriter.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace kestrelon;
using kestrelon::test::waitFor;

namespace {

struct Pipe {
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~Pipe()
    {
        closeRead();
        ::close(fds[1]);
    }
    void closeRead()
    {
        if (fds[0] >= 0) {
            ::close(fds[0]);
            fds[0] = -1;
        }
    }
    // What the pipe holds or gets within a while; empty when nothing comes.
    std::string readSome()
    {
        char buffer[65536];
        pollfd p{fds[0], POLLIN, 0};
        ssize_t n = ::poll(&p, 1, 5000) > 0 ? ::read(fds[0], buffer, sizeof buffer) : 0;
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    }
    int fds[2] = {-1, -1};
};

// Runs fn on a thread and waits for it; a call that never returns is a failure, not a hang.
bool returnsSoon(const std::function<void()>& fn)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        fn();
        done = true;
    });
    if (!waitFor([&] { return done.load(); })) {
        t.detach();
        return false;
    }
    t.join();
    return true;
}

} // namespace

TEST(AsyncLineWriter, AReaderThatDoesNotReadHoldsNobodyUpAndLosesOnlyWhatDidNotFit)
{
    Pipe pipe;
    auto writer = std::make_unique<AsyncLineWriter>(pipe.fds[1], AsyncLineWriter::Limits{100, 1 << 20});
    // The pipe takes some 600 of these lines, the queue 100 more; the rest are dropped.
    constexpr int kLines = 5000;
    ASSERT_TRUE(returnsSoon([&] {
        for (int i = 0; i < kLines; ++i) {
            writer->write("line " + std::to_string(i) + " " + std::string(100, '.'));
        }
    })) << "write() waited for the reader";

    // What arrives is the lines in order, where each run of dropped lines has a mark that counts
    // them; together they account for every line.
    size_t next = 0, marks = 0;
    std::string pending;
    while (next < size_t(kLines)) {
        std::string chunk = pipe.readSome();
        if (chunk.empty()) {
            break;
        }
        pending += chunk;
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line.rfind("line ", 0) == 0) {
                EXPECT_EQ(line.substr(0, line.find(' ', 5)), "line " + std::to_string(next));
                ++next;
            } else {
                const size_t dropped = std::stoul(line);
                EXPECT_EQ(line, AsyncLineWriter::droppedMark(dropped));
                next += dropped;
                ++marks;
            }
        }
    }
    EXPECT_EQ(next, size_t(kLines));
    EXPECT_GE(marks, 1u);
    // Lines written later follow the mark.
    writer->write("after");
    EXPECT_EQ(pending + pipe.readSome(), "after\n");

    // The destructor does not wait for a reader that never reads.
    std::string filler(60000, 'f');
    for (int i = 0; i < 50; ++i) {
        writer->write(filler);
    }
    EXPECT_FALSE(writer->flush(std::chrono::milliseconds(100)));
    EXPECT_TRUE(returnsSoon([&] { writer.reset(); }));
}

TEST(AsyncLineWriter, AReaderThatHasGoneCostsNothing)
{
    Pipe pipe;
    pipe.closeRead();
    AsyncLineWriter writer(pipe.fds[1]);
    // Without SIGPIPE blocked on the writer's thread this would end the test program.
    writer.write("nobody reads this");
    EXPECT_TRUE(writer.flush(std::chrono::seconds(5)));
    writer.write("nor this");
    EXPECT_TRUE(writer.flush(std::chrono::seconds(5)));
}
