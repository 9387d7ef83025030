// The live stream on the test pattern, with real GStreamer on both sides: viewers are loopback
// TCP connections whose far end reads the WebM stream and decodes it. Waits follow the stream's
// own clock (the time stamps received), not the wall clock.
#include "streaming/StreamPipeline.h"
#include "StreamReceiver.h"
#include "streaming/TestPatternFeed.h"
#include "support/GuiApplication.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

class StreamPipelineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ensureGuiApplication();
        QString error;
        ASSERT_TRUE(initStreamLibrary(error)) << error.toStdString();
    }

    // A running stream of a profile row at the default quality.
    std::unique_ptr<StreamPipeline> startStream(int row, int maxViewers, const std::string& title = {})
    {
        auto stream = std::make_unique<StreamPipeline>(makeStreamProfile(row, 50), title, maxViewers);
        QString error;
        EXPECT_EQ(stream->start(std::make_unique<TestPatternFeed>(), {}, error),
                  StreamPipeline::Start::Started)
            << error.toStdString();
        return stream;
    }
    // A viewer from address, handed to the stream as the viewer port would.
    std::unique_ptr<StreamReceiver> join(StreamPipeline& stream, const char* address = "127.0.0.1")
    {
        ViewerSockets sockets = connectViewer(address);
        EXPECT_TRUE(stream.viewers()->addViewer(sockets.server));
        return std::make_unique<StreamReceiver>(sockets.client);
    }
};

template <typename Time> int64_t elapsedMs(Time from, Time to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

bool spans(const Received& r, int64_t ms)
{
    return r.spanMs() >= ms;
}

TEST_F(StreamPipelineTest, RatesHoldAndASilentViewerHoldsNobodyUp)
{
    const auto wallStart = std::chrono::system_clock::now();
    const auto steadyStart = std::chrono::steady_clock::now();
    // Two rows side by side, measured over 10 s of stream after the first 2 s.
    auto fast = startStream(0, 5);
    auto slow = startStream(4, 5);
    auto fastViewer = join(*fast);
    auto slowViewer = join(*slow);
    // A viewer that reads nothing, on a small buffer: it must neither stall nor be waited for.
    ViewerSockets silent = connectViewer("127.0.0.1", 4096);
    ASSERT_TRUE(fast->viewers()->addViewer(silent.server));

    ASSERT_TRUE(fastViewer->waitFor([](const Received& r) { return spans(r, 12500); }, 40s));
    ASSERT_TRUE(slowViewer->waitFor([](const Received& r) { return spans(r, 12500); }, 40s));
    for (auto [viewer, rate] :
         {std::pair{fastViewer.get(), 256000.0}, std::pair{slowViewer.get(), 32000.0}}) {
        const Received r = viewer->received();
        EXPECT_NEAR(r.bitrate(2000, 12000), rate, 0.2 * rate);
        EXPECT_EQ(r.width, 320);
        EXPECT_EQ(r.height, 240);
        EXPECT_GT(r.decodedFrames, 20);
        EXPECT_EQ(r.decodedWidth, 320);
        EXPECT_EQ(r.decodedHeight, 240);
    }
    // The silent viewer is dropped once it has taken nothing for a while; the other stays.
    // On a failure, what the fast viewer saw and how the clocks moved tell a dropped viewer from
    // a machine that stood still (the sink's timeout runs on the wall clock).
    EXPECT_TRUE(processUntil([&] { return fast->viewers()->count() == 1; }, 30s));
    EXPECT_EQ(fast->viewers()->addresses().size(), 1u)
        << "fast viewer: " << fastViewer->received().bytes << " bytes, closed "
        << fastViewer->received().closed << ", stream span " << fastViewer->received().spanMs()
        << " ms; wall clock moved " << elapsedMs(wallStart, std::chrono::system_clock::now())
        << " ms, steady clock " << elapsedMs(steadyStart, std::chrono::steady_clock::now()) << " ms";
    ::close(silent.client);
}

TEST_F(StreamPipelineTest, ALateViewerStartsAtOnceAndSeesThePlainTitle)
{
    auto stream = startStream(6, 5, "Spike clip \xC3\xA9");
    auto first = join(*stream);
    ASSERT_TRUE(first->waitFor([](const Received& r) { return spans(r, 5000); }));
    const int64_t joinedAt = first->received().blocks.back().timeMs;

    auto late = join(*stream);
    ASSERT_TRUE(late->waitFor([](const Received& r) { return r.decodedFrames > 0; }, 10s));
    // Measured on the first viewer's stream clock: pictures within 2 s of joining.
    EXPECT_LT(first->received().blocks.back().timeMs - joinedAt, 2000);
    const Received r = late->received();
    ASSERT_FALSE(r.blocks.empty());
    EXPECT_TRUE(r.blocks.front().keyframe);
    EXPECT_EQ(r.title, "Spike clip \xC3\xA9");
    EXPECT_EQ(r.width, 240);
    EXPECT_EQ(r.height, 176);
    EXPECT_EQ(r.decodedWidth, 240);
    EXPECT_EQ(r.decodedHeight, 176);
}

TEST_F(StreamPipelineTest, ViewersAreLimitedListedAndFreedAtOnce)
{
    auto stream = startStream(5, 2);
    auto viewers = stream->viewers();
    ViewerSockets one = connectViewer("127.0.0.2");
    ViewerSockets two = connectViewer("127.0.0.3");
    ViewerSockets three = connectViewer("127.0.0.4");
    ASSERT_TRUE(viewers->addViewer(one.server));
    ASSERT_TRUE(viewers->addViewer(two.server));
    StreamReceiver second(two.client);
    // Full: the third is refused and keeps its socket (the viewer port answers 503 on it).
    EXPECT_FALSE(viewers->addViewer(three.server));
    EXPECT_EQ(viewers->addresses(), (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}));

    // The first leaves: its place is free as soon as the sink sees the connection close.
    ::close(one.client);
    ASSERT_TRUE(processUntil([&] { return viewers->count() == 1; }));
    {
        // A place reserved while a reply's header is written counts until it is dropped.
        StreamViewers::Slot slot = viewers->reserve();
        ASSERT_TRUE(slot);
        EXPECT_FALSE(viewers->reserve());
    }
    ASSERT_TRUE(viewers->addViewer(three.server));
    StreamReceiver third(three.client);
    ASSERT_TRUE(third.waitFor([](const Received& r) { return r.decodedFrames > 0; }));
    EXPECT_EQ(viewers->addresses(), (std::vector<std::string>{"127.0.0.3", "127.0.0.4"}));

    // Stopping drops every viewer at once and takes nobody any more.
    stream->stop();
    EXPECT_TRUE(second.waitFor([](const Received& r) { return r.closed; }, 5s));
    EXPECT_TRUE(third.waitFor([](const Received& r) { return r.closed; }, 5s));
    EXPECT_EQ(viewers->count(), 0);
    EXPECT_FALSE(viewers->reserve());

    // "Max. Users" 0 (or port 0): nobody can connect.
    auto closed = startStream(5, 0);
    ViewerSockets refused = connectViewer();
    EXPECT_FALSE(closed->viewers()->addViewer(refused.server));
    ::close(refused.server);
    ::close(refused.client);
}

} // namespace
