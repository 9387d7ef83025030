#include "core/AsyncLineWriter.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <sstream>
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
    // Reads until `until` shows up in what was read, or nothing comes for a while.
    std::string readUntil(const std::string& until)
    {
        std::string text;
        char buffer[65536];
        pollfd p{fds[0], POLLIN, 0};
        while (text.find(until) == std::string::npos && ::poll(&p, 1, 5000) > 0) {
            ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
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

    std::istringstream text(pipe.readUntil(" dropped\n"));
    std::string line;
    int next = 0;
    size_t dropped = 0;
    while (std::getline(text, line)) {
        if (line.rfind("line ", 0) == 0) {
            EXPECT_EQ(dropped, 0u) << "a line after the mark: " << line;
            EXPECT_EQ(line.substr(0, line.find(' ', 5)), "line " + std::to_string(next));
            ++next;
        } else {
            EXPECT_EQ(dropped, 0u);
            dropped = std::stoul(line);
            EXPECT_EQ(line, AsyncLineWriter::droppedMark(dropped));
        }
    }
    EXPECT_GT(next, 100);
    EXPECT_EQ(next + dropped, size_t(kLines)); // every line is either there or counted
    // Lines written later follow the mark.
    writer->write("after");
    EXPECT_EQ(pipe.readUntil("after\n"), "after\n");

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
