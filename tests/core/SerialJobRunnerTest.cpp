#include "core/SerialJobRunner.h"

#include "support/GuiApplication.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <latch>
#include <mutex>
#include <string>
#include <vector>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

// A job that holds its worker until released (or stopped), so tests decide when it ends.
struct Gate {
    std::mutex mutex;
    std::condition_variable_any cv;
    bool open = false;
    void release()
    {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
    // Returns false when the job was stopped before the gate opened.
    bool wait(std::stop_token stop)
    {
        std::unique_lock lock(mutex);
        return cv.wait(lock, stop, [this] { return open; });
    }
};

class SerialJobRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { ensureGuiApplication(); }
};

} // namespace

TEST_F(SerialJobRunnerTest, OneJobAtATimeClicksWhileBusyAreSkippedQueuedOnesWait)
{
    SerialJobRunner runner;
    Gate gate;
    std::vector<std::string> order; // main thread only
    QThread* mainThread = QThread::currentThread();
    std::atomic<bool> postsOnMain{true};

    ASSERT_TRUE(runner.start([&](SerialJobRunner::Context& ctx) {
        ctx.post([&] {
            postsOnMain = postsOnMain && QThread::currentThread() == mainThread;
            order.push_back("first:started");
        });
        gate.wait(ctx.stopToken());
        ctx.post([&] { order.push_back("first:done"); });
    }));
    EXPECT_TRUE(runner.busy());
    // A tick while the job runs does nothing.
    EXPECT_FALSE(runner.start([&](SerialJobRunner::Context&) { order.push_back("skipped"); }));
    // A queued job waits for the first one, and runs after it.
    runner.enqueue([&](SerialJobRunner::Context& ctx) { ctx.post([&] { order.push_back("second"); }); });
    int idles = 0;
    QObject::connect(&runner, &SerialJobRunner::idle, [&] { ++idles; });

    ASSERT_TRUE(processUntil([&] { return order.size() == 1; }));
    gate.release();
    ASSERT_TRUE(processUntil([&] { return !runner.busy(); }));
    EXPECT_EQ(order, (std::vector<std::string>{"first:started", "first:done", "second"}));
    EXPECT_TRUE(postsOnMain);
    EXPECT_EQ(idles, 1);
    // Free again: the next click runs.
    bool ran = false;
    EXPECT_TRUE(runner.start([&](SerialJobRunner::Context& ctx) { ctx.post([&] { ran = true; }); }));
    EXPECT_TRUE(processUntil([&] { return ran && !runner.busy(); }));
}

TEST_F(SerialJobRunnerTest, CancelStopsTheRunningJobDropsTheWaitingOnesAndShutdownIsBounded)
{
    Gate never;
    std::atomic<bool> stopped{false};
    std::atomic<bool> droppedRan{false};
    {
        SerialJobRunner runner;
        std::latch running(1);
        runner.start([&](SerialJobRunner::Context& ctx) {
            running.count_down();
            stopped = !never.wait(ctx.stopToken());
        });
        runner.enqueue([&](SerialJobRunner::Context&) { droppedRan = true; });
        running.wait();
        runner.cancel();
        ASSERT_TRUE(processUntil([&] { return !runner.busy(); }));
        EXPECT_TRUE(stopped);
        EXPECT_FALSE(droppedRan);

        // A job queued after a cancel runs with a fresh stop token.
        bool sawStop = true;
        runner.enqueue([&](SerialJobRunner::Context& ctx) {
            bool stop = ctx.stopRequested();
            ctx.post([&, stop] { sawStop = stop; });
        });
        ASSERT_TRUE(processUntil([&] { return !runner.busy(); }));
        EXPECT_FALSE(sawStop);

        // Shutdown stops a job that waits on a peer, and nothing starts afterwards.
        stopped = false;
        std::latch second(1);
        runner.start([&](SerialJobRunner::Context& ctx) {
            second.count_down();
            stopped = !never.wait(ctx.stopToken());
        });
        second.wait();
        EXPECT_TRUE(runner.shutdown(5s));
        EXPECT_TRUE(stopped);
        EXPECT_FALSE(runner.start([&](SerialJobRunner::Context&) { droppedRan = true; }));
    }
    EXPECT_FALSE(droppedRan);
}
