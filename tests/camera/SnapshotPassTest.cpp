#include "camera/CameraTestSupport.h"
#include "camera/Overlay.h"
#include "camera/SnapshotFile.h"
#include "core/FileStatus.h"
#include "support/ServerFixture.h"

#include <QImageReader>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class SnapshotPassTest : public ::testing::Test, public PassFixture {
protected:
    SnapshotPassTest()
    {
        camera.frames.set(noiseImage(640, 480, 7));
        setCamera([](CameraSettings& c) { c.Overlay = c.cbText = false; });
    }
    std::string snapFile() const { return settings.snapshot()->Camera.File; }
    bool written() const { return std::filesystem::exists(snapFile()); }
    void useFile(const std::string& path)
    {
        setCamera([&](CameraSettings& c) { c.File = path; });
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
    QObject::connect(&pass, &SnapshotPass::imageChanged, [&](const QImage& i) { shown.push_back(i); });
    // Between timed saves a pass writes the file and the window shows the processed picture,
    // byte for byte the formulas' result.
    EXPECT_EQ(pass.btnSnapNowClick(Originator::AdjustmentBar), PassOutcome::Saved);
    const Image expected =
        reference::process(noiseImage(640, 480, 7), settings.snapshot()->Camera, camera.size);
    EXPECT_EQ(pass.image(), expected);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(Image::fromQImage(shown[0]), expected);
    EXPECT_EQ(QImage(QString::fromStdString(snapFile())).size(), QSize(352, 264));
    EXPECT_EQ(pass.fileSizeShown(), fileSize(snapFile()));
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // The timed pass (countdown 0) and tbQuality show the file as saved, compression included.
    camera.countdown = 0;
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Reloaded);
    EXPECT_EQ(pass.image(), Image::fromQImage(QImage(QString::fromStdString(snapFile()))));
    EXPECT_NE(pass.image(), expected);
    camera.countdown = 5;
    EXPECT_EQ(pass.btnSnapNowClick(Originator::tbQuality), PassOutcome::Reloaded);
    // Higher quality, larger file: the bar's position reaches the encoder.
    const int64_t at60 = pass.fileSizeShown();
    setCamera([](CameraSettings& c) { c.Quality = 95; });
    pass.btnSnapNowClick();
    EXPECT_GT(pass.fileSizeShown(), at60 * 3 / 2);

    // Both captions are stamped into that picture.
    setCamera([](CameraSettings& c) {
        c.Overlay = c.cbText = true;
        c.Quality = 60;
    });
    pass.btnSnapNowClick();
    Image stamped = expected;
    drawOverlays(stamped, OverlayStyle::fromSettings(settings.snapshot()->Archiver),
                 {{"  16:45:23   12 Feb 2005", QPoint(4, 258)}, {"WebCam", QPoint(180, 258)}}, QPoint(0, 12));
    EXPECT_EQ(pass.image(), stamped);
}

TEST_F(SnapshotPassTest, NothingHappensWhileStoppedDraggedBusyOrWithoutFrame)
{
    camera.running = false;
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::PreviewStopped);
    camera.running = true;
    {
        auto request = busy.raise();
        EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Held);
    }
    EXPECT_EQ(camera.frames.grabs, 0);
    EXPECT_FALSE(written());

    ASSERT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
    const Image first = pass.image();
    const std::string bytes = readFile(snapFile());
    pass.overlayDrag().Image2MouseDown(QPoint(182, 250), {}); // on the text caption
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
    std::vector<QString> failed;
    QObject::connect(&pass, &SnapshotPass::qualityEnabledChanged, [&](bool on) { quality.push_back(on); });
    QObject::connect(&pass, &SnapshotPass::snapshotWriteFailed,
                     [&](const QString& m) { failed.push_back(m); });
    for (auto [name, format] : {std::pair{"a.bmp", "bmp"},
                                {"a.JPG", ""},
                                {"a.gif", "gif"},
                                {"a.jpeg", ""},
                                {"a.jpg", "jpeg"},
                                {"a.Gif", ""},
                                {"noext", ""}}) {
        useFile(file(name));
        const PassOutcome outcome = pass.btnSnapNowClick();
        const QImageReader reader(QString::fromStdString(file(name)));
        EXPECT_EQ(reader.format(), format) << name;
        EXPECT_EQ(outcome, *format ? PassOutcome::Saved : PassOutcome::NoFile) << name;
        if (*format) {
            EXPECT_EQ(reader.size(), QSize(352, 264)) << name;
            EXPECT_EQ(pass.qualityEnabled(), std::string(format) == "jpeg") << name;
        }
    }
    EXPECT_EQ(quality, (std::vector{false, true})); // off at the .bmp, on again at the .jpg
    // A file of another extension is shown and kept, never rewritten.
    useFile(dir.write("b.JPG", "12345"));
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
    EXPECT_EQ(pass.fileSizeShown(), 5);
    EXPECT_EQ(readFile(file("b.JPG")), "12345");
    // Of the failed writes only the bitmap's is reported.
    for (const char* name : {"s.bmp", "s.jpg", "s.gif"}) {
        useFile(file("missing/") + name);
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
    EXPECT_FALSE(written());
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
    EXPECT_FALSE(written());
    request.reset();
    setCamera([](CameraSettings& c) { c.Update = false; });
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Reloaded);
    EXPECT_TRUE(written());
}

TEST_F(SnapshotPassTest, BrightnessIsMeasuredAfterTheRescaleAndAPauseEndsThePass)
{
    // A white frame 288 rows high at the size 352 x 288 reads 734.
    camera.size = {352, 288, 0, 0};
    camera.frames.set(uniformImage(352, 288, 255, 255, 255));
    setCamera([](CameraSettings& c) { c.Bright = c.Contrast = -100; });
    std::vector<int> figures;
    camera.actions = [&](int figure) {
        figures.push_back(figure);
        return true;
    };
    EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Paused);
    EXPECT_EQ(figures, std::vector<int>{734});
    EXPECT_EQ(pass.brightnessFigure(), 734);
    EXPECT_FALSE(written());
    // The window keeps the picture as far as the brightness: no contrast applied.
    EXPECT_EQ(pass.image(), uniformImage(352, 288, 155, 155, 155));

    camera.actions = nullptr;
    camera.size = VideoSize{};
    for (auto [w, h, dontResize, figure, width] : {std::array{640, 480, 0, 264 * 255 / 100, 352},
                                                   {8, 8, 0, 8 * 255 / 100, 8},
                                                   {640, 480, 1, 480 * 255 / 100, 640}}) {
        camera.frames.set(uniformImage(w, h, 255, 255, 255));
        setCamera([&](CameraSettings& c) { c.DontResize = dontResize; });
        EXPECT_EQ(pass.btnSnapNowClick(), PassOutcome::Saved);
        EXPECT_EQ(pass.brightnessFigure(), figure) << w;
        EXPECT_EQ(QImage(QString::fromStdString(snapFile())).width(), width) << w;
    }
}

TEST(SnapshotServing, EveryServedCopyIsOneTheCameraWroteWhole)
{
    ServerFixture server;
    ASSERT_TRUE(server.start());
    PassFixture f;
    const std::string path = server.root.path() + "/snap.jpg";
    f.setCamera([&](CameraSettings& c) { c.File = path; });
    f.camera.frames.set(noiseImage(640, 480, 0));
    ASSERT_EQ(f.pass.btnSnapNowClick(), PassOutcome::Saved);
    std::set<std::string> versions{readFile(path)};

    // The server reads the file while 50 passes replace it with pictures of other sizes.
    std::atomic<bool> done{false};
    std::vector<std::string> served;
    std::thread client([&] {
        for (int i = 0; i < 5000 && !done; ++i) {
            if (auto reply = httpGet(server.port(), "/snap.jpg"); reply && reply->status == 200) {
                served.push_back(reply->body);
            }
        }
    });
    for (int i = 1; i <= 50; ++i) {
        f.camera.frames.set(noiseImage(640, 480, unsigned(i)));
        f.setCamera([&](CameraSettings& c) { c.Quality = 20 + i; });
        f.pass.btnSnapNowClick();
        versions.insert(readFile(path));
    }
    done = true;
    client.join();
    ASSERT_FALSE(served.empty());
    for (const std::string& body : served) {
        EXPECT_TRUE(versions.count(body)) << body.size() << " bytes served";
    }
}
