// The stream fed from a camera's shared capture: it runs beside the snapshot pictures, leaves the
// capture to its other users when it stops, and ends with the capture.
#include "streaming/CaptureFeed.h"
#include "StreamReceiver.h"
#include "media/VideoCaptures.h"
#include "streaming/StreamFeed.h"
#include "streaming/StreamPipeline.h"
#include "streaming/StreamViewers.h"
#include "support/GuiApplication.h"

#include <gtest/gtest.h>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

const std::string kCaps = " ! capsfilter caps=\"video/x-raw,width=640,height=480,framerate=30/1\"";

TEST(CaptureFeedTest, StreamRunsBesideTheSnapshotsAndEndsWithTheCapture)
{
    ensureGuiApplication();
    VideoCaptures captures(
        {VideoDevice::fromDescription(QStringLiteral("Camera"), "videotestsrc is-live=true" + kCaps),
         VideoDevice::fromDescription(QStringLiteral("Ending"),
                                      "videotestsrc is-live=true num-buffers=45" + kCaps),
         VideoDevice::fromDescription(QStringLiteral("Missing"),
                                      "v4l2src device=/dev/kestrelon-no-such-camera")});
    Capture& camera = *captures.capture(0);
    auto snapshots = camera.attach();
    ASSERT_TRUE(processUntil([&] { return camera.frameCount() > 0; }, 10s))
        << camera.statusText().toStdString();

    QString error;
    StreamPipeline stream(makeStreamProfile(0, 50), {}, 2);
    ASSERT_EQ(stream.start(openCaptureFeed(captures, 0, error), {}, error), StreamPipeline::Start::Started)
        << error.toStdString();
    ViewerSockets sockets = connectViewer();
    ASSERT_TRUE(stream.viewers()->addViewer(sockets.server));
    StreamReceiver viewer(sockets.client);
    const uint64_t before = camera.frameCount();
    ASSERT_TRUE(viewer.waitFor([](const Received& r) { return r.decodedFrames >= 10; }, 30s));
    EXPECT_EQ(viewer.received().decodedWidth, 320);
    EXPECT_EQ(viewer.received().decodedHeight, 240);
    // The snapshots' pictures went on meanwhile, from the same pipeline.
    EXPECT_GT(camera.frameCount(), before + 10);

    stream.stop();
    EXPECT_EQ(camera.state(), Capture::State::Running);
    const uint64_t after = camera.frameCount();
    EXPECT_TRUE(processUntil([&] { return camera.frameCount() > after + 3; }, 10s));

    // A source that ends ends the stream, with the capture's reason.
    QString failure;
    StreamPipeline ending(makeStreamProfile(0, 50), {}, 1);
    ASSERT_EQ(ending.start(
                  openCaptureFeed(captures, 1, error), [&](const QString& r) { failure = r; }, error),
              StreamPipeline::Start::Started)
        << error.toStdString();
    ASSERT_TRUE(processUntil([&] { return !failure.isEmpty(); }, 20s));
    EXPECT_EQ(failure, captures.capture(1)->statusText());

    // A device that does not open answers the start with its reason; a position beyond the list
    // has no source.
    StreamPipeline missing(makeStreamProfile(0, 50), {}, 1);
    EXPECT_EQ(missing.start(openCaptureFeed(captures, 2, error), {}, error), StreamPipeline::Start::Failed);
    EXPECT_TRUE(error.contains(QStringLiteral("kestrelon-no-such-camera"))) << error.toStdString();
    EXPECT_FALSE(openCaptureFeed(captures, 3, error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
