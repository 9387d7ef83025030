#include "camera/Adjustments.h"
#include "camera/CameraTestSupport.h"
#include "camera/Overlay.h"
#include "camera/Resize.h"
#include "camera/SnapshotFile.h"

#include <QImageReader>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class SnapshotPassTest : public ::testing::Test, public PassFixture {
protected:
    SnapshotPassTest()
    {
        camera.frames.set(noiseImage(640, 480, 7));
        setCamera([](CameraSettings& c) {
            c.Overlay = false;
            c.cbText = false;
        });
    }
    std::string snapFile() const { return settings.snapshot()->Camera.File; }
    bool exists(const std::string& path) const { return std::filesystem::exists(path); }
    std::vector<std::string> files() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }
};

} // namespace

TEST_F(SnapshotPassTest, AFrameBecomesTheFileAndTheWindowPicture)
{
    setCamera([](CameraSettings& c) {
        c.Bright = 30;
        c.Red = -20;
        c.Contrast = -40;
        c.Zoom = 20;
        c.Sharpness = 5;
    });
    std::vector<QImage> shown;
    std::vector<qint64> sizes;
    QObject::connect(&pass, &SnapshotPass::imageChanged, [&](const QImage& i) { shown.push_back(i); });
    QObject::connect(&pass, &SnapshotPass::fileSizeChanged, [&](qint64 n) { sizes.push_back(n); });
    // Between timed saves a pass writes the file and leaves the window with the processed
    // picture, byte for byte the formulas' result.
    EXPECT_EQ(pass.btnSnapNowClick(Originator::AdjustmentBar), PassOutcome::Saved);
    const Image expected =
        reference::process(noiseImage(640, 480, 7), settings.snapshot()->Camera, camera.size);
    EXPECT_EQ(pass.image(), expected);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(Image::fromQImage(shown[0]), expected);
    const QImage written(QString::fromStdString(snapFile()));
    EXPECT_EQ(written.size(), QSize(352, 264));
    EXPECT_EQ(pass.fileSizeShown(), fileSize(snapFile()));
    EXPECT_EQ(sizes, std::vector<qint64>{pass.fileSizeShown()});
    EXPECT_EQ(files(), std::vector<std::string>{"snap.jpg"}); // no temporary left behind

    // The timed pass (countdown 0) shows the file as saved, compression included.
    camera.countdown = 0;
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Reloaded);
    EXPECT_EQ(pass.image(), Image::fromQImage(QImage(QString::fromStdString(snapFile()))));
    EXPECT_NE(pass.image(), expected);

    // Both captions are stamped into that same picture.
    setCamera([](CameraSettings& c) {
        c.Overlay = true;
        c.cbText = true;
    });
    camera.countdown = 5;
    pass.btnSnapNowClick();
    Image stamped = expected;
    const auto s = settings.snapshot();
    drawOverlays(stamped, OverlayStyle::fromSettings(s->Archiver),
                 {{"  16:45:23   12 Feb 2005", QPoint(4, 258)}, {"WebCam", QPoint(180, 258)}}, QPoint(0, 12));
    EXPECT_EQ(pass.image(), stamped);
    EXPECT_EQ(pass.dateCaption(), "  16:45:23   12 Feb 2005");
}

TEST_F(SnapshotPassTest, NothingHappensWhileStoppedDraggedBusyOrWithoutFrame)
{
    camera.running = false;
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::PreviewStopped);
    camera.running = true;
    {
        auto token = busy.raise();
        EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Held);
    }
    EXPECT_EQ(camera.frames.grabs, 0);
    EXPECT_FALSE(exists(snapFile()));

    ASSERT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
    const Image first = pass.image();
    const std::string bytes = readFile(snapFile());
    // A press on the text caption starts a drag: no pass runs until the release.
    pass.overlayDrag().Image2MouseDown(QPoint(182, 250), {});
    ASSERT_TRUE(pass.overlayDrag().dragText());
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Held);
    // A capture without a frame leaves picture and file alone instead of adjusting them again.
    camera.frames.clear();
    pass.overlayDrag().Image2MouseUp({});
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::NoFrame);
    EXPECT_EQ(pass.image(), first);
    EXPECT_EQ(readFile(snapFile()), bytes);
}

TEST_F(SnapshotPassTest, TheExactExtensionChoosesTheFormat)
{
    std::vector<bool> quality;
    QObject::connect(&pass, &SnapshotPass::qualityEnabledChanged, [&](bool on) { quality.push_back(on); });
    struct Expect {
        const char* name;
        const char* format; // as Qt reads the file back; empty: nothing written
    };
    for (const Expect& e : {Expect{"a.bmp", "bmp"},
                            {"a.JPG", ""},
                            {"a.gif", "gif"},
                            {"a.jpeg", ""},
                            {"a.jpg", "jpeg"},
                            {"a.Gif", ""},
                            {"noext", ""}}) {
        const std::string path = file(e.name);
        setCamera([&](CameraSettings& c) { c.File = path; });
        const PassOutcome outcome = pass.btnSnapNowClick();
        if (*e.format) {
            EXPECT_EQ(outcome, PassOutcome::Saved) << e.name;
            QImageReader reader(QString::fromStdString(path));
            EXPECT_EQ(reader.format(), e.format) << e.name;
            EXPECT_EQ(reader.size(), QSize(352, 264)) << e.name;
            EXPECT_EQ(pass.qualityEnabled(), std::string(e.format) == "jpeg") << e.name;
        } else {
            EXPECT_EQ(outcome, PassOutcome::NoFile) << e.name;
            EXPECT_FALSE(exists(path)) << e.name;
            EXPECT_EQ(pass.fileSizeShown(), 0);
        }
    }
    EXPECT_EQ(quality, (std::vector{false, true})); // off at the .bmp, on again at the .jpg
    // A file of an unknown extension is shown and kept, never rewritten.
    const std::string other = dir.write("b.JPG", "12345");
    setCamera([&](CameraSettings& c) { c.File = other; });
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
    EXPECT_EQ(pass.fileSizeShown(), 5);
    EXPECT_EQ(readFile(other), "12345");
}

TEST_F(SnapshotPassTest, OnlyAFailedBmpWriteIsReported)
{
    std::vector<QString> failed;
    QObject::connect(&pass, &SnapshotPass::snapshotWriteFailed,
                     [&](const QString& m) { failed.push_back(m); });
    for (const char* name : {"s.bmp", "s.jpg", "s.gif"}) {
        setCamera([&](CameraSettings& c) { c.File = file("missing/") + name; });
        EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::NoFile) << name;
    }
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_TRUE(failed[0].contains("missing/s.bmp")) << failed[0].toStdString();
}

TEST_F(SnapshotPassTest, ContinuousUpdateWritesOnlyTimedAndForcedPasses)
{
    setCamera([](CameraSettings& c) { c.Update = true; });
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::WindowOnly);
    EXPECT_FALSE(pass.image().empty());
    EXPECT_FALSE(exists(snapFile()));
    // The pass that starts capture writes at once and clears its mark.
    pass.markForced();
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
    EXPECT_FALSE(pass.forced());
    std::filesystem::remove(snapFile());
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::WindowOnly);
    camera.countdown = 0;
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Reloaded);

    // A request that starts during the pass stops the write of continuous update, not the grab;
    // without continuous update the write goes ahead.
    ServerBusy::Token request;
    camera.actions = [&](int) {
        request = busy.raise();
        return false;
    };
    std::filesystem::remove(snapFile());
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::WindowOnly);
    EXPECT_FALSE(exists(snapFile()));
    request.reset();
    setCamera([](CameraSettings& c) { c.Update = false; });
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Reloaded);
    EXPECT_TRUE(exists(snapFile()));
}

TEST_F(SnapshotPassTest, TheQualityBarReloadsTheWindowOtherBarsDoNot)
{
    EXPECT_EQ(pass.btnSnapNowClick(Originator::tbQuality), PassOutcome::Reloaded);
    EXPECT_EQ(pass.btnSnapNowClick(Originator::AdjustmentBar), PassOutcome::Saved);
    // Higher quality, larger file: the bar's position reaches the encoder.
    const int64_t at60 = pass.fileSizeShown();
    setCamera([](CameraSettings& c) { c.Quality = 95; });
    pass.btnSnapNowClick(Originator::tbQuality);
    EXPECT_GT(pass.fileSizeShown(), at60 * 3 / 2);
}

TEST_F(SnapshotPassTest, APauseTestEndsThePassAfterBrightness)
{
    // A white frame 288 rows high at the size 352 x 288 reads 734.
    camera.size = {352, 288, 0, 0};
    camera.frames.set(uniformImage(352, 288, 255, 255, 255));
    setCamera([](CameraSettings& c) {
        c.Bright = -100;
        c.Contrast = -100;
    });
    std::vector<int> figures;
    camera.actions = [&](int figure) {
        figures.push_back(figure);
        return true;
    };
    int measured = 0;
    QObject::connect(&pass, &SnapshotPass::brightnessMeasured, [&] { ++measured; });
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Paused);
    EXPECT_EQ(figures, std::vector<int>{734});
    EXPECT_EQ(pass.brightnessFigure(), 734);
    EXPECT_EQ(measured, 1);
    EXPECT_FALSE(exists(snapFile()));
    // The window keeps the picture as far as the brightness step: no contrast applied.
    EXPECT_EQ(pass.image(), uniformImage(352, 288, 155, 155, 155));

    // A rescaled frame is measured after the rescale, and tiny frames are never rescaled.
    camera.actions = nullptr;
    camera.size = VideoSize{};
    camera.frames.set(uniformImage(8, 8, 255, 255, 255));
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
    EXPECT_EQ(pass.brightnessFigure(), 8 * 255 / 100);
    EXPECT_EQ(QImage(QString::fromStdString(snapFile())).size(), QSize(8, 8));
    camera.frames.set(uniformImage(640, 480, 255, 255, 255));
    pass.btnSnapNowClick();
    EXPECT_EQ(pass.brightnessFigure(), 264 * 255 / 100);
    setCamera([](CameraSettings& c) { c.DontResize = true; });
    pass.btnSnapNowClick();
    EXPECT_EQ(pass.image().width, 640);
    EXPECT_EQ(pass.brightnessFigure(), 480 * 255 / 100);
}
