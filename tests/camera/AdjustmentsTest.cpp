#include "camera/Adjustments.h"
#include "camera/CameraTestSupport.h"
#include "camera/Resize.h"

#include <gtest/gtest.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// One pixel per value 0..255, each channel holding it.
Image ramp()
{
    Image image(256, 1);
    for (int v = 0; v < 256; ++v) {
        std::fill_n(image.pixel(v, 0), 3, uint8_t(v));
    }
    return image;
}

} // namespace

TEST(Adjustments, BrightnessClampsAndMeasuresBeforeChanging)
{
    Image up = ramp(), down = ramp();
    BrightChange(up, 200, 0);
    BrightChange(down, -200, 0);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(up.pixel(v, 0)[1], v >= 55 ? 255 : v + 200) << v;
        EXPECT_EQ(down.pixel(v, 0)[0], v <= 200 ? 0 : v - 200) << v;
    }
    // A white frame 288 rows high reads 734 whatever its width, measured before the change.
    for (int width : {130, 640}) {
        Image white = uniformImage(width, 288, 255, 255, 255);
        EXPECT_EQ(BrightChange(white, -200, 120) / 100, 734) << width;
        EXPECT_EQ(white, uniformImage(width, 288, 55, 55, 55));
    }
    // Only red counts; a column beyond a narrower picture reads its last column.
    Image narrow = uniformImage(50, 288, 255, 255, 0);
    for (int y = 0; y < narrow.height; ++y) {
        narrow.pixel(49, y)[2] = 100;
    }
    EXPECT_EQ(measureBrightness(narrow, 120), 288 * 100);
    EXPECT_EQ(measureBrightness(narrow, 10), 0);
}

TEST(Adjustments, ColourContrastAndSharpenByHand)
{
    Image image = uniformImage(2, 2, 10, 128, 250);
    ColourChange(image, 20, -100, -15);
    EXPECT_EQ(image, uniformImage(2, 2, 0, 28, 255));

    Image contrast = ramp(), beyond = ramp();
    Contrast(contrast, -100);
    EXPECT_EQ(contrast.pixel(255, 0)[0], 205);
    EXPECT_EQ(contrast.pixel(0, 0)[0], 49);
    EXPECT_EQ(contrast.pixel(128, 0)[0], 128);
    // An amount beyond the bar's range is held to bytes instead of wrapping around.
    Contrast(beyond, 200);
    EXPECT_EQ(beyond.pixel(255, 0)[0], 255);
    EXPECT_EQ(beyond.pixel(0, 0)[0], 0);

    // 3 x 3: the centre 100 with neighbours 90 is the one pixel computed:
    // 2 * 100 - ((13107 * 460 + 32767) >> 16) = 108.
    Image square = uniformImage(3, 3, 7, 7, 7);
    for (auto [x, y] : {std::pair{1, 0}, {0, 1}, {2, 1}, {1, 2}}) {
        std::fill_n(square.pixel(x, y), 3, uint8_t(90));
    }
    std::fill_n(square.pixel(1, 1), 3, uint8_t(100));
    Image sharpened = square;
    Sharpen(sharpened, 2);
    std::fill_n(square.pixel(1, 1), 3, uint8_t(108));
    EXPECT_EQ(sharpened, square);
    // Two pixels wide: nothing to compute; strength 1: the identity.
    for (auto [w, s] : {std::pair{2, 15.0}, {37, 1.0}}) {
        Image same = noiseImage(w, 9, 1);
        Sharpen(same, s);
        EXPECT_EQ(same, noiseImage(w, 9, 1));
    }
}

TEST(Adjustments, ResizeAndCropByHand)
{
    // Red rising by 20 a column: 10 columns to 4 read columns 0, 2.25, 4.5 and 6.75.
    Image gradient(10, 10);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            gradient.pixel(x, y)[2] = uint8_t(20 * x);
        }
    }
    ImgResize(gradient, 4, 3);
    ASSERT_EQ(gradient.width * 10 + gradient.height, 43);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(gradient.pixel(x, 2)[2], (std::array{0, 45, 90, 135}[size_t(x)])) << x;
    }
    // Frames under 10 x 10 are never rescaled.
    for (auto [w, h] : {std::pair{9, 40}, {40, 9}}) {
        Image small = noiseImage(w, h, 3);
        ImgResize(small, 352, 264);
        EXPECT_EQ(small, noiseImage(w, h, 3));
    }
    // Zoom 15 on 4 x 4 takes the middle 2 x 2, each source pixel twice; 30 is the whole image.
    const Image square = noiseImage(4, 4, 4);
    Image zoomed = square, whole = square;
    Crop(zoomed, 15);
    Crop(whole, 30);
    EXPECT_EQ(whole, square);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_TRUE(
                std::equal(zoomed.pixel(x, y), zoomed.pixel(x, y) + 3, square.pixel(1 + x / 2, 1 + y / 2)));
        }
    }
}

TEST(Adjustments, FastPassesGiveTheBytesOfTheFormulas)
{
    for (int seed = 1; seed <= 3; ++seed) {
        const Image noise = noiseImage(97 + seed, 61, unsigned(seed));
        const auto same = [&](auto fast, auto plain) {
            Image a = noise, b = noise;
            fast(a);
            plain(b);
            EXPECT_EQ(a, b) << seed;
        };
        const int k = seed * 70 - 140, s = seed * 5 - 2, zoom = 8 + seed * 6, a = -35 * seed;
        same([&](Image& i) { BrightChange(i, k, 30); }, [&](Image& i) { reference::BrightChange(i, k, 30); });
        same([&](Image& i) { ColourChange(i, k, -k, k / 2); },
             [&](Image& i) { reference::ColourChange(i, k, -k, k / 2); });
        same([&](Image& i) { Contrast(i, a); }, [&](Image& i) { reference::Contrast(i, a); });
        same([&](Image& i) { Sharpen(i, s); }, [&](Image& i) { reference::Sharpen(i, s); });
        same([&](Image& i) { Crop(i, zoom); }, [&](Image& i) { reference::Crop(i, zoom); });
        for (auto [w, h] : {std::pair{352, 264}, {40, 30}, {11, 400}}) {
            same([&](Image& i) { ImgResize(i, w, h); }, [&](Image& i) { reference::ImgResize(i, w, h); });
        }
    }
    // The pass's one copy (rescale, tables, zoom) against the steps one after the other.
    CameraSettings cam;
    cam.Bright = 37;
    cam.Red = -12;
    cam.Blue = 100;
    cam.Contrast = -60;
    for (auto [w, h, zoom] : {std::array{640, 480, 21}, {352, 264, 9}, {8, 6, 12}}) {
        cam.Zoom = zoom;
        const Image frame = noiseImage(w, h, unsigned(zoom));
        const VideoSize size;
        Image fast = resizeMapZoom(frame, w != size.videoWidth, size.videoWidth, size.videoHeight,
                                   brightnessTables(cam.Bright)
                                       .then(colourTables(cam.Red, cam.Green, cam.Blue))
                                       .then(contrastTables(cam.Contrast)),
                                   zoom);
        Sharpen(fast, fast.height > 3 ? cam.Sharpness : 1);
        EXPECT_EQ(fast, reference::process(frame, cam, size)) << w << "x" << h;
    }
}
