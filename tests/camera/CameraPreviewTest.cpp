#include "camera/CameraPreview.h"
#include "core/SettingsModel.h"
#include "media/VideoCaptures.h"
#include "support/GuiApplication.h"

#include <gtest/gtest.h>

namespace kestrelon::test {
namespace {

constexpr std::chrono::milliseconds kWait{10000};
const std::string kCaps = " ! capsfilter caps=\"video/x-raw,width=350,height=240,framerate=30/1\"";

// Two cameras: the first with picture controls, the second one whose picture ends after a third of
// a second, as a camera that is unplugged.
class CameraPreviewTest : public ::testing::Test {
protected:
    CameraPreviewTest()
        : settings(Settings{}),
          captures({VideoDevice::fromDescription(QStringLiteral("Camera A"),
                                                 "videotestsrc is-live=true" + kCaps + " ! videobalance"),
                    VideoDevice::fromDescription(QStringLiteral("Camera B"),
                                                 "videotestsrc is-live=true num-buffers=10" + kCaps)})
    {
        ensureGuiApplication();
    }
    void change(const std::function<void(CameraSettings&)>& f)
    {
        settings.update([&](Settings& s) { f(s.Camera); });
    }

    SettingsModel settings;
    VideoCaptures captures;
};

TEST_F(CameraPreviewTest, FrameTimerFollowsMainsRateAndContinuousUpdate)
{
    change([](CameraSettings& c) { c.Flicker = false; });
    CameraPreview preview(settings, captures);
    EXPECT_EQ(preview.frameInterval(), 63);
    EXPECT_EQ(preview.rb12Caption(), QStringLiteral("15 fps"));
    EXPECT_EQ(preview.rb25Caption(), QStringLiteral("30 fps"));
    change([](CameraSettings& c) { c.fps = false; });
    EXPECT_EQ(preview.frameInterval(), 33);
    change([](CameraSettings& c) { c.Flicker = true; });
    EXPECT_EQ(preview.frameInterval(), 40);
    EXPECT_EQ(preview.rb12Caption(), QStringLiteral("12.5 fps"));

    // Runs only with continuous update on and while the program is the active one.
    preview.setApplicationActive(true);
    EXPECT_FALSE(preview.FrameTimer.isActive());
    EXPECT_FALSE(preview.frameRateButtonsEnabled());
    change([](CameraSettings& c) { c.Update = true; });
    EXPECT_TRUE(preview.FrameTimer.isActive());
    EXPECT_TRUE(preview.frameRateButtonsEnabled());
    int passes = 0;
    QObject::connect(&preview, &CameraPreview::framePassDue, [&] { ++passes; });
    EXPECT_TRUE(processUntil([&] { return passes >= 2; }));
    preview.setApplicationActive(false);
    EXPECT_FALSE(preview.FrameTimer.isActive());
}

TEST_F(CameraPreviewTest, SizeTablePlacesThePictureAndFullScreenNeeds640)
{
    change([](CameraSettings& c) {
        c.rb264 = false;
        c.rb320 = true;
    });
    CameraPreview preview(settings, captures);
    EXPECT_EQ(preview.videoSize(), (VideoSize{320, 240, 16, 24}));
    EXPECT_FALSE(preview.popScreenEnabled());
    preview.popScreenClick();
    EXPECT_FALSE(preview.fullScreen());

    change([](CameraSettings& c) {
        c.rb320 = false;
        c.rb480 = true;
    });
    EXPECT_EQ(preview.videoSize(), (VideoSize{640, 480, 0, 0}));
    EXPECT_EQ(preview.popScreenCaption(), QStringLiteral("Full Screen"));
    preview.popScreenClick();
    EXPECT_TRUE(preview.fullScreen());
    EXPECT_EQ(preview.popScreenCaption(), QStringLiteral("Normal Screen"));
    // Another size brings the picture back into the window.
    change([](CameraSettings& c) {
        c.rb480 = false;
        c.rb240 = true;
    });
    EXPECT_FALSE(preview.fullScreen());
    EXPECT_EQ(preview.videoSize(), (VideoSize{352, 240, 0, 24}));
}

TEST_F(CameraPreviewTest, DeviceChangeStartsAStoppedPreviewAndStopsARunningOne)
{
    CameraPreview preview(settings, captures);
    EXPECT_EQ(preview.startPreviewCaption(), QStringLiteral("Start Preview"));
    EXPECT_EQ(preview.cameraStatusText(), QStringLiteral("Stopped"));

    preview.cboxDeviceChange(1);
    EXPECT_EQ(settings.snapshot()->Camera.AutoSelectDevice, 1);
    EXPECT_TRUE(preview.previewRunning());
    EXPECT_EQ(preview.startPreviewCaption(), QStringLiteral("Stop Preview"));
    EXPECT_EQ(preview.cameraStatusText(), QStringLiteral("Available"));
    EXPECT_EQ(preview.cameraStatusColour(), 0x008080);
    preview.setCapturing(true);
    EXPECT_EQ(preview.cameraStatusText(), QStringLiteral("Running"));
    EXPECT_EQ(preview.cameraStatusColour(), 0x008000);
    EXPECT_FALSE(preview.fileNameEnabled());

    preview.cboxDeviceChange(0);
    EXPECT_FALSE(preview.previewRunning());
    EXPECT_EQ(preview.selectedDevice(), 0);
    EXPECT_EQ(preview.cameraStatusText(), QStringLiteral("Stopped"));
    EXPECT_EQ(captures.capture(1)->users(), 0);
    EXPECT_FALSE(preview.grabFrame());

    // The next click starts the new device, whose picture controls enable their buttons.
    preview.btnStartPreviewClick();
    EXPECT_TRUE(
        processUntil([&] { return preview.deviceControlsAvailable() && preview.latestFrame(); }, kWait));
    EXPECT_EQ(preview.grabFrame()->width, 350);
    preview.btnStartPreviewClick();
    EXPECT_FALSE(preview.deviceControlsAvailable());
}

TEST_F(CameraPreviewTest, StoredPositionBeyondTheListSelectsNothing)
{
    change([](CameraSettings& c) {
        c.AutoSelectDevice = 2;
        c.AutoSelect = true;
    });
    CameraPreview preview(settings, captures);
    EXPECT_EQ(preview.selectedDevice(), -1);
    EXPECT_FALSE(preview.autoSelectStart(true));
    EXPECT_TRUE(preview.autoSelectStart(false));
    EXPECT_FALSE(preview.previewRunning());
    EXPECT_EQ(preview.startPreviewCaption(), QStringLiteral("Start Preview"));
    EXPECT_EQ(preview.statusText(), QString::fromLatin1(CameraPreview::kNoDevice));
    // Kept, for the day the device is back.
    EXPECT_EQ(settings.snapshot()->Camera.AutoSelectDevice, 2);
}

TEST_F(CameraPreviewTest, DeviceThatGoesAwayStopsThePreviewWhichStartsAgain)
{
    change([](CameraSettings& c) { c.AutoSelectDevice = 1; });
    CameraPreview preview(settings, captures);
    std::vector<bool> changes;
    QObject::connect(&preview, &CameraPreview::previewChanged,
                     [&](bool running) { changes.push_back(running); });
    preview.btnStartPreviewClick();
    preview.setCapturing(true);
    ASSERT_TRUE(processUntil([&] { return !preview.previewRunning(); }, kWait));
    EXPECT_EQ(preview.statusText(), QStringLiteral("Camera stopped: the device's picture stream ended"));
    EXPECT_EQ(preview.cameraStatusText(), QStringLiteral("Stopped"));
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));

    preview.btnStartPreviewClick();
    EXPECT_TRUE(preview.previewRunning());
    EXPECT_TRUE(preview.statusText().isEmpty());
    // A new run of the capture, not capturing yet.
    EXPECT_EQ(preview.cameraStatusText(), QStringLiteral("Available"));
}

} // namespace
} // namespace kestrelon::test
