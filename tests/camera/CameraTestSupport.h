#pragma once

#include "camera/Image.h"
#include "camera/SnapshotContext.h"
#include "camera/SnapshotPass.h"
#include "core/ServerBusy.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "media/FrameSource.h"
#include "support/TempDir.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace kestrelon {
// Failures name the size and the first bytes instead of dumping the object.
void PrintTo(const Image& image, std::ostream* out);
} // namespace kestrelon

namespace kestrelon::test {

Image noiseImage(int width, int height, unsigned seed);
Image uniformImage(int width, int height, uint8_t blue, uint8_t green, uint8_t red);

// The adjustments written straight from their formulas, a pixel and a step at a time: the fast
// code must give exactly these bytes.
namespace reference {
void ImgResize(Image& image, int width, int height);
int BrightChange(Image& image, int offset, int darkLine);
void ColourChange(Image& image, int red, int green, int blue);
void Contrast(Image& image, int amount);
void Crop(Image& image, int zoom);
void Sharpen(Image& image, double strength);
// The pass from the rescale to the sharpening, on one frame.
Image process(Image frame, const CameraSettings& cam, const VideoSize& size);
} // namespace reference

// A capture handing out copies of one picture of real pixels, or nothing.
struct PictureSource : FrameSource {
    std::optional<VideoFrame> grabFrame() override
    {
        ++grabs;
        return frame;
    }
    void set(const Image& image) { frame = image; }
    void clear() { frame.reset(); }
    std::optional<VideoFrame> frame;
    int grabs = 0;
};

// The preview and capture state the pass asks for, as plain fields.
struct TestCamera : SnapshotContext {
    bool running = true;
    bool capture = false;
    int countdown = 5;
    VideoSize size;
    PictureSource frames;
    std::function<bool(int)> actions;

    bool previewRunning() const override { return running; }
    FrameSource* frameSource() override { return &frames; }
    VideoSize videoSize() const override { return size; }
    bool captureRunning() const override { return capture; }
    int captureCountdown() const override { return countdown; }
    bool brightnessActions(int figure) override { return actions && actions(figure); }
};

// A pass writing into a folder of its own, default settings, the clock at 12 February 2005
// 16:45:23 local time.
struct PassFixture {
    PassFixture();
    void setCamera(const std::function<void(CameraSettings&)>& change)
    {
        settings.update([&](Settings& s) { change(s.Camera); });
    }
    std::string file(const std::string& name) const { return dir.path() + "/" + name; }

    TempDir dir;
    SettingsModel settings;
    ServerBusy busy;
    TestCamera camera;
    SnapshotPass pass;
};

} // namespace kestrelon::test
