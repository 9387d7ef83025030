// Periodic capture and the light-level control on GStreamer's white and black test patterns,
// the port writes seen through a recording port, the one-second tick driven by the test.
#include "camera/CaptureSchedule.h"
#include "camera/BrightnessControl.h"
#include "camera/Camera.h"
#include "camera/CameraPreview.h"
#include "camera/SnapshotPass.h"
#include "core/ServerBusy.h"
#include "core/SettingsModel.h"
#include "media/VideoCaptures.h"
#include "portio/PortTestSupport.h"
#include "support/GuiApplication.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

constexpr std::chrono::milliseconds kWait{10000};
constexpr int kWhite = 0;
constexpr int kBlack = 1;

VideoDevice pattern(const char* name)
{
    return VideoDevice::fromDescription(
        QString::fromLatin1(name),
        std::string("videotestsrc is-live=true pattern=") + name +
            " ! capsfilter caps=\"video/x-raw,width=352,height=288,framerate=30/1\"");
}

Settings cameraSettings(const std::string& dir)
{
    ensureGuiApplication();
    Settings s = Settings::defaults(dir);
    s.WebServe.Root = dir;
    s.Camera.File = dir + "/snap.jpg";
    s.Camera.Overlay = s.Camera.cbText = false;
    // 352 x 288: the frames are not rescaled, and a white one measures 288 * 255 div 100.
    s.Camera.rb264 = false;
    s.Camera.rb288 = true;
    return s;
}

// A camera on a white and a black source; its one-second tick is left to the test.
class CaptureTest : public ::testing::Test {
protected:
    CaptureTest()
        : settings(cameraSettings(dir.path())), captures({pattern("white"), pattern("black")}),
          camera(settings, captures, busy, recorded.port, std::chrono::hours(1))
    {
    }
    void change(const std::function<void(CameraSettings&)>& f)
    {
        settings.update([&](Settings& s) { f(s.Camera); });
    }
    // The preview of one source, once its first frame is there.
    void show(int device)
    {
        if (preview().previewRunning()) {
            preview().btnStartPreviewClick();
        }
        preview().cboxDeviceChange(device);
        ASSERT_TRUE(processUntil([&] { return preview().latestFrame() != nullptr; }, kWait));
    }
    PassOutcome passOn(int device)
    {
        show(device);
        return camera.pass().btnSnapNowClick();
    }
    bool fileThere() const { return std::filesystem::exists(file()); }
    std::string file() const { return settings.snapshot()->Camera.File; }
    void removeFile() const { std::filesystem::remove(file()); }
    CameraPreview& preview() { return camera.preview(); }
    CaptureSchedule& schedule() { return camera.schedule(); }

    TempDir dir;
    SettingsModel settings;
    VideoCaptures captures;
    ServerBusy busy;
    RecordedPort recorded;
    Camera camera;
};

using BrightnessControlTest = CaptureTest;

TEST_F(BrightnessControlTest, PortValuesAboveAndBelowThePortThreshold)
{
    settings.update([](Settings& s) { s.WebServe.IO = true; });
    change([](CameraSettings& c) {
        c.Threshold = "300";
        c.cbAbove = c.cbBelow = true;
        c.Above = "7";
        c.Below = "3";
    });
    EXPECT_EQ(passOn(kWhite), PassOutcome::Saved);
    EXPECT_EQ(camera.pass().brightnessFigure(), 734);
    EXPECT_EQ(passOn(kBlack), PassOutcome::Saved);
    EXPECT_EQ(camera.pass().brightnessFigure(), 0);
    EXPECT_EQ(recorded.writes(), "0278 7\n0278 3\n");

    // On the threshold nothing is written; neither without I/O control or without the boxes.
    change([](CameraSettings& c) { c.Threshold = "0"; });
    camera.pass().btnSnapNowClick();
    change([](CameraSettings& c) {
        c.Threshold = "734";
        c.cbBelow = false;
    });
    passOn(kWhite);
    change([](CameraSettings& c) { c.Threshold = "1000"; });
    camera.pass().btnSnapNowClick();
    settings.update([](Settings& s) { s.WebServe.IO = false; });
    change([](CameraSettings& c) { c.cbBelow = true; });
    camera.pass().btnSnapNowClick();
    EXPECT_EQ(recorded.writes(), "0278 7\n0278 3\n");

    // A negative value sets its bits in the last value written; a text that is no number is 0.
    settings.update([](Settings& s) { s.WebServe.IO = true; });
    change([](CameraSettings& c) {
        c.Threshold = "x";
        c.Above = "-4";
    });
    recorded.port.setLastPortValue(1);
    camera.pass().btnSnapNowClick();
    EXPECT_EQ(recorded.port.lastPortValue(), 5);
    change([](CameraSettings& c) { c.Above = "seven"; });
    camera.pass().btnSnapNowClick();
    EXPECT_EQ(recorded.writes(), "0278 7\n0278 3\n0278 5\n0278 0\n");
}

TEST_F(BrightnessControlTest, PauseTestsSkipTheSnapshotFile)
{
    change([](CameraSettings& c) {
        c.CapThreshold = "300";
        c.cbStopCapture = true;
    });
    EXPECT_EQ(passOn(kBlack), PassOutcome::Paused);
    EXPECT_FALSE(fileThere());
    // The window keeps the frame as far as the pass got.
    EXPECT_EQ(camera.pass().image().width, 352);
    EXPECT_EQ(camera.pass().image().bgr[0], 0);
    EXPECT_EQ(passOn(kWhite), PassOutcome::Saved);
    EXPECT_TRUE(fileThere());

    // The two boxes exclude each other.
    change([](CameraSettings& c) { c.cbStopCapAbove = true; });
    camera.brightness().cbStopCapAboveClick();
    EXPECT_FALSE(settings.snapshot()->Camera.cbStopCapture);
    removeFile();
    EXPECT_EQ(camera.pass().btnSnapNowClick(), PassOutcome::Paused);
    EXPECT_FALSE(fileThere());
    EXPECT_EQ(passOn(kBlack), PassOutcome::Saved);
    // On the threshold nothing pauses.
    change([](CameraSettings& c) { c.CapThreshold = "734"; });
    EXPECT_EQ(passOn(kWhite), PassOutcome::Saved);
    change([](CameraSettings& c) {
        c.cbStopCapture = true;
        c.CapThreshold = "0";
    });
    camera.brightness().cbStopCaptureClick();
    EXPECT_FALSE(settings.snapshot()->Camera.cbStopCapAbove);
    EXPECT_EQ(passOn(kBlack), PassOutcome::Saved);
}

TEST_F(CaptureTest, IntervalOneWritesEverySecondWithPanel32AtZero)
{
    change([](CameraSettings& c) { c.Interval = 1; });
    show(kWhite);
    EXPECT_EQ(schedule().captureCaption(), QStringLiteral("Start Capture"));
    schedule().ToggleCapture();
    EXPECT_EQ(schedule().captureCaption(), QStringLiteral("Stop Capture"));
    EXPECT_EQ(preview().cameraStatusText(), QStringLiteral("Running"));
    EXPECT_TRUE(schedule().CaptureTimer.isActive());
    EXPECT_TRUE(fileThere()); // the forced first pass
    for (int second = 0; second < 4; ++second) {
        removeFile();
        schedule().CaptureTimerTimer();
        EXPECT_EQ(schedule().Panel32(), QStringLiteral("0"));
        EXPECT_TRUE(fileThere()) << "second " << second;
    }
    schedule().ToggleCapture();
    EXPECT_EQ(schedule().captureCaption(), QStringLiteral("Start Capture"));
    EXPECT_EQ(preview().cameraStatusText(), QStringLiteral("Available"));
    EXPECT_TRUE(schedule().Panel32().isEmpty());
    EXPECT_FALSE(schedule().CaptureTimer.isActive());
    // A tick that comes late does nothing.
    removeFile();
    schedule().CaptureTimerTimer();
    EXPECT_FALSE(fileThere());
}

TEST_F(CaptureTest, ContinuousUpdateWritesTheFirstPassAtOnceThenOnlyTimedOnes)
{
    change([](CameraSettings& c) {
        c.Update = true;
        c.Interval = 3;
    });
    // Capture starts the stopped preview; the first frame to arrive becomes the file.
    schedule().ToggleCapture();
    EXPECT_TRUE(preview().previewRunning());
    ASSERT_TRUE(processUntil([&] { return fileThere(); }, kWait));
    removeFile();
    // The window's own passes between timed saves write nothing.
    EXPECT_EQ(camera.pass().btnSnapNowClick(), PassOutcome::WindowOnly);
    schedule().CaptureTimerTimer();
    schedule().CaptureTimerTimer();
    EXPECT_EQ(schedule().Panel32(), QStringLiteral("1"));
    EXPECT_FALSE(fileThere());
    schedule().CaptureTimerTimer();
    EXPECT_TRUE(fileThere());
    EXPECT_EQ(schedule().captureCountdown(), 3);
}

TEST_F(CaptureTest, FolderOutsideTheWebRootIsAskedAbout)
{
    QStringList asked;
    bool ignore = false;
    schedule().setQuestion([&](const QString& text) {
        asked << text;
        return ignore;
    });
    // A folder whose name only begins like the root's is outside it.
    const std::string root = dir.mkdir("www");
    dir.mkdir("www2");
    settings.update([&](Settings& s) {
        s.WebServe.Root = root;
        s.Camera.File = root + "2/snap.jpg";
    });
    schedule().ToggleCapture();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], QString::fromStdString(
                            "The image folder (" + root +
                            "2) is not accessible on the Web Server's Root Folder Path \n (" + root + ")"));
    EXPECT_FALSE(schedule().capturing());
    EXPECT_FALSE(preview().previewRunning());
    EXPECT_EQ(schedule().captureCaption(), QStringLiteral("Start Capture"));
    ignore = true;
    schedule().ToggleCapture();
    EXPECT_TRUE(schedule().capturing());
    schedule().ToggleCapture();

    // Inside the root, below it, or with the check off: no question.
    for (const std::string& file : {root + "/snap.jpg", root + "/cam/snap.jpg"}) {
        settings.update([&](Settings& s) { s.Camera.File = file; });
        EXPECT_TRUE(schedule().folderQuestion().isEmpty()) << file;
    }
    settings.update([&](Settings& s) {
        s.Camera.File = "/elsewhere/snap.jpg";
        s.Camera.CheckPath = false;
    });
    schedule().ToggleCapture();
    EXPECT_TRUE(schedule().capturing());
    EXPECT_EQ(asked.size(), 2);
    schedule().ToggleCapture();

    // Without anyone to ask (headless) the answer is Cancel, and it is said why.
    settings.update([&](Settings& s) { s.Camera.CheckPath = true; });
    schedule().setQuestion({});
    QStringList lines;
    QObject::connect(&camera, &Camera::statusLine, [&](const QString& line) { lines << line; });
    schedule().ToggleCapture();
    EXPECT_FALSE(schedule().capturing());
    EXPECT_TRUE(lines.value(1).startsWith("Capture not started: ")) << lines.join("|").toStdString();
}

TEST_F(CaptureTest, StoppingDeletesWhenAskedAndFollowsThePreview)
{
    change([](CameraSettings& c) { c.DeleteOnCapEnd = true; });
    show(kWhite);
    schedule().ToggleCapture();
    EXPECT_TRUE(fileThere());
    schedule().ToggleCapture();
    EXPECT_FALSE(fileThere());

    // Stopping the preview stops capture.
    change([](CameraSettings& c) { c.DeleteOnCapEnd = false; });
    schedule().ToggleCapture();
    preview().btnStartPreviewClick();
    EXPECT_FALSE(schedule().capturing());
    EXPECT_EQ(schedule().captureCaption(), QStringLiteral("Start Capture"));
    EXPECT_EQ(preview().cameraStatusText(), QStringLiteral("Stopped"));
    EXPECT_TRUE(fileThere());

    // The interval box's step grows with its value.
    EXPECT_EQ(CaptureSchedule::spIntervalStep(99), 1);
    EXPECT_EQ(CaptureSchedule::spIntervalStep(100), 10);
    EXPECT_EQ(CaptureSchedule::spIntervalStep(999), 10);
    EXPECT_EQ(CaptureSchedule::spIntervalStep(1000), 100);
}

TEST_F(CaptureTest, StartUpStartsThePreviewAndCaptureAfterTheDelay)
{
    change([](CameraSettings& c) {
        c.AutoSelect = c.AutoStart = true;
        c.Delay = 50;
    });
    EXPECT_FALSE(camera.firstActivate(true)); // noauto
    EXPECT_FALSE(preview().previewRunning());

    EXPECT_TRUE(camera.firstActivate(false));
    EXPECT_TRUE(preview().previewRunning());
    // Nothing waits for the delay: capture starts later, from the event loop.
    EXPECT_FALSE(schedule().capturing());
    EXPECT_TRUE(schedule().startPending());
    ASSERT_TRUE(processUntil([&] { return schedule().capturing(); }, kWait));
    ASSERT_TRUE(processUntil([&] { return fileThere(); }, kWait));

    // The shutdown stops capture and closes the device.
    camera.shutdown();
    EXPECT_FALSE(schedule().capturing());
    EXPECT_FALSE(preview().previewRunning());
    EXPECT_EQ(captures.capture(kWhite)->users(), 0);
}

} // namespace
