#include "media/Capture.h"
#include "media/CaptureBranch.h"
#include "media/VideoDevice.h"
#include "support/GuiApplication.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

namespace kestrelon::test {
namespace {

// The first start of the test program loads GStreamer's plugins.
constexpr std::chrono::milliseconds kWait{10000};

// Colour bars 350 pixels wide: BGR rows of 1050 bytes lie 1052 bytes apart in GStreamer's buffers.
const std::string kBars350 =
    "videotestsrc is-live=true pattern=smpte ! "
    "capsfilter caps=\"video/x-raw,format=I420,width=350,height=240,framerate=30/1\"";

VideoDevice described(const std::string& description)
{
    return VideoDevice::fromDescription(QStringLiteral("Described"), description);
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ensureGuiApplication(); }

    static bool waitForState(Capture& capture, Capture::State state)
    {
        return processUntil([&] { return capture.state() == state; }, kWait);
    }
    static bool waitForFrames(Capture& capture, uint64_t count)
    {
        return processUntil([&] { return capture.frameCount() >= count; }, kWait);
    }
};

TEST_F(CaptureTest, TestPatternIsListedLastAndItsPictureMoves)
{
    const auto devices = enumerateVideoDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_TRUE(devices.back().isTestPattern());
    EXPECT_EQ(devices.back().name(), QStringLiteral("Test pattern"));
    for (size_t i = 0; i + 1 < devices.size(); ++i) {
        EXPECT_FALSE(devices[i].isTestPattern());
    }

    Capture capture(devices.back());
    int notices = 0;
    QObject::connect(&capture, &Capture::frameArrived, [&] { ++notices; });
    auto use = capture.attach();
    ASSERT_TRUE(waitForState(capture, Capture::State::Running)) << capture.statusText().toStdString();
    ASSERT_TRUE(waitForFrames(capture, 1));
    const auto first = capture.latestFrame();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->width, 640);
    EXPECT_EQ(first->height, 480);
    // The clock in the corner ticks, so a later picture differs.
    EXPECT_TRUE(processUntil(
        [&] {
            auto now = capture.latestFrame();
            return now && now->bgr != first->bgr;
        },
        kWait));
    EXPECT_GT(notices, 0);
    // No colour balance in a test pattern.
    EXPECT_TRUE(capture.controls().empty());
    EXPECT_FALSE(capture.setControlValue(QStringLiteral("BRIGHTNESS"), 1));

    use.reset();
    EXPECT_EQ(capture.state(), Capture::State::Stopped);
    EXPECT_FALSE(capture.grabFrame());
}

TEST_F(CaptureTest, FramesArePackedBgrWhateverTheRowPadding)
{
    Capture capture(described(kBars350));
    auto use = capture.attach();
    ASSERT_TRUE(waitForFrames(capture, 1)) << capture.statusText().toStdString();
    const auto frame = capture.grabFrame();
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->width, 350);
    ASSERT_EQ(frame->height, 240);
    ASSERT_EQ(frame->bgr.size(), size_t(350 * 240 * 3));
    // The bars run straight down the upper half: rows copied without regard to their padding would
    // drift sideways two bytes a row.
    int driftingRows = 0;
    for (int y = 1; y < 120; ++y) {
        driftingRows += std::memcmp(frame->row(y), frame->row(0), 350 * 3) != 0;
    }
    EXPECT_EQ(driftingRows, 0);
    // Blue, green, red: the second bar is yellow (no blue), the third cyan (no red).
    const uint8_t* yellow = frame->row(10) + 75 * 3;
    const uint8_t* cyan = frame->row(10) + 125 * 3;
    EXPECT_LT(yellow[0], 40);
    EXPECT_GT(yellow[1], 150);
    EXPECT_GT(yellow[2], 150);
    EXPECT_GT(cyan[0], 150);
    EXPECT_GT(cyan[1], 150);
    EXPECT_LT(cyan[2], 40);
}

TEST_F(CaptureTest, UsersShareOnePipelineUntilTheLastLeaves)
{
    Capture capture(described(kBars350));
    std::vector<Capture::State> states;
    QObject::connect(&capture, &Capture::stateChanged, [&](Capture::State s) { states.push_back(s); });
    auto first = capture.attach();
    ASSERT_TRUE(waitForState(capture, Capture::State::Running));
    ASSERT_TRUE(waitForFrames(capture, 2));
    states.clear();

    auto second = capture.attach();
    EXPECT_EQ(capture.users(), 2);
    const uint64_t before = capture.frameCount();
    first.reset();
    ASSERT_TRUE(waitForFrames(capture, before + 3));
    // Neither the second user nor the first one's leaving restarted the pipeline.
    EXPECT_TRUE(states.empty());

    second.reset();
    EXPECT_EQ(capture.state(), Capture::State::Stopped);
    EXPECT_EQ(capture.frameCount(), 0u);
    EXPECT_FALSE(capture.grabFrame());
}

TEST_F(CaptureTest, BranchesThatStallOrFailNeverHoldUpTheFrames)
{
    Capture capture(described(kBars350));
    auto use = capture.attach();
    ASSERT_TRUE(waitForState(capture, Capture::State::Running));

    // A sink that takes one buffer and then blocks, since nobody pulls.
    GstElement* sink = GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("appsink", nullptr)));
    g_object_set(sink, "sync", FALSE, "async", FALSE, "max-buffers", 1u, "drop", FALSE, nullptr);
    std::atomic<int> reached{0};
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer data) {
            ++*static_cast<std::atomic<int>*>(data);
            return GST_PAD_PROBE_OK;
        },
        &reached, nullptr);
    gst_object_unref(pad);
    {
        CaptureBranch branch(capture, sink);
        ASSERT_TRUE(processUntil([&] { return reached >= 2; }, kWait));
        const uint64_t before = capture.frameCount();
        EXPECT_TRUE(waitForFrames(capture, before + 15));
        EXPECT_LE(reached, 3) << "the branch was drained after all";
        EXPECT_TRUE(branch.attached());
    }
    // Taken out while stalled: the sink is free again and the capture goes on.
    EXPECT_TRUE(processUntil([&] { return GST_ELEMENT_PARENT(sink) == nullptr; }, kWait));
    EXPECT_EQ(GST_STATE(sink), GST_STATE_NULL);
    const uint64_t before = capture.frameCount();
    EXPECT_TRUE(waitForFrames(capture, before + 5));
    EXPECT_EQ(capture.state(), Capture::State::Running);
    gst_object_unref(sink);

    // Branches that cannot take the video, or fail while running, end by themselves; the device
    // is not stopped for them.
    QString refused, broken;
    CaptureBranch picky(
        capture,
        gst_parse_bin_from_description("capsfilter caps=video/x-raw,format=RGB16 ! fakesink", TRUE, nullptr),
        [&](const QString& r) { refused = r; });
    CaptureBranch failing(capture,
                          gst_parse_bin_from_description("identity error-after=5 ! fakesink", TRUE, nullptr),
                          [&](const QString& r) { broken = r; });
    ASSERT_TRUE(processUntil([&] { return !refused.isEmpty() && !broken.isEmpty(); }, kWait));
    EXPECT_FALSE(picky.attached());
    EXPECT_FALSE(failing.attached());
    const uint64_t after = capture.frameCount();
    EXPECT_TRUE(waitForFrames(capture, after + 15));
    EXPECT_EQ(capture.state(), Capture::State::Running);
}

TEST_F(CaptureTest, SourceThatEndsOrFailsStopsWithItsReasonAndStartsAgain)
{
    Capture capture(described("videotestsrc is-live=true num-buffers=10 ! "
                              "capsfilter caps=\"video/x-raw,width=350,height=240,framerate=30/1\""));
    QString branchEnded;
    auto use = capture.attach();
    CaptureBranch branch(capture, gst_element_factory_make("fakesink", nullptr),
                         [&](const QString& reason) { branchEnded = reason; });
    ASSERT_TRUE(waitForState(capture, Capture::State::Failed));
    EXPECT_EQ(capture.statusText(), QStringLiteral("Camera stopped: the device's picture stream ended"));
    EXPECT_FALSE(capture.grabFrame());
    ASSERT_TRUE(processUntil([&] { return !branchEnded.isEmpty(); }));
    EXPECT_EQ(branchEnded, capture.statusText());
    EXPECT_FALSE(branch.attached());

    // Attaching again starts a new run, which ends the same way.
    use = capture.attach();
    EXPECT_TRUE(capture.statusText().isEmpty());
    EXPECT_TRUE(waitForFrames(capture, 1));
    EXPECT_TRUE(waitForState(capture, Capture::State::Failed));

    // A device that plays but sends nothing.
    Capture silent(described(kBars350 + " ! valve drop=true"));
    silent.setStallTimeout(std::chrono::milliseconds(300));
    auto silentUse = silent.attach();
    ASSERT_TRUE(waitForState(silent, Capture::State::Running));
    ASSERT_TRUE(waitForState(silent, Capture::State::Failed));
    EXPECT_EQ(silent.statusText(), QStringLiteral("Camera stopped: no picture from the device"));

    // A device that is not there, and a source that cannot even be built.
    Capture missing(described("v4l2src device=/dev/kestrelon-no-such-camera"));
    auto missingUse = missing.attach();
    ASSERT_TRUE(waitForState(missing, Capture::State::Failed));
    EXPECT_TRUE(missing.statusText().startsWith(QStringLiteral("Camera could not start: ")));
    EXPECT_TRUE(missing.statusText().contains(QStringLiteral("kestrelon-no-such-camera")))
        << missing.statusText().toStdString();
    Capture unbuildable(described("kestrelon-no-such-element"));
    auto unbuildableUse = unbuildable.attach();
    EXPECT_EQ(unbuildable.state(), Capture::State::Failed);
    EXPECT_TRUE(unbuildable.statusText().startsWith(QStringLiteral("Camera could not start: ")));
}

TEST_F(CaptureTest, ColourBalanceOfTheSourceIsOfferedAsControls)
{
    Capture capture(described(kBars350 + " ! videobalance"));
    int changes = 0;
    QObject::connect(&capture, &Capture::controlsChanged, [&] { ++changes; });
    auto use = capture.attach();
    ASSERT_TRUE(waitForState(capture, Capture::State::Running));
    const auto& controls = capture.controls();
    auto brightness = std::find_if(controls.begin(), controls.end(), [](const DeviceControl& c) {
        return c.name == QStringLiteral("BRIGHTNESS");
    });
    ASSERT_NE(brightness, controls.end());
    EXPECT_TRUE(capture.setControlValue(brightness->name, brightness->minimum + 1));
    EXPECT_EQ(capture.controlValue(brightness->name), brightness->minimum + 1);
    EXPECT_TRUE(capture.setControlValue(brightness->name, brightness->maximum + 100));
    EXPECT_EQ(capture.controlValue(brightness->name), brightness->maximum);
    EXPECT_FALSE(capture.controlValue(QStringLiteral("no such control")));

    use.reset();
    EXPECT_TRUE(capture.controls().empty());
    EXPECT_EQ(changes, 2);
}

} // namespace
} // namespace kestrelon::test
