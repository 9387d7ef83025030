#include "camera/CameraTestSupport.h"

#include "support/GuiApplication.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <random>

namespace kestrelon {

void PrintTo(const Image& image, std::ostream* out)
{
    *out << image.width << "x" << image.height << " image";
    for (size_t i = 0; i < std::min<size_t>(image.bgr.size(), 12); ++i) {
        *out << (i ? " " : ": ") << int(image.bgr[i]);
    }
}

} // namespace kestrelon

namespace kestrelon::test {

Image noiseImage(int width, int height, unsigned seed)
{
    Image image(width, height);
    std::mt19937 random(seed);
    std::generate(image.bgr.begin(), image.bgr.end(), [&] { return uint8_t(random()); });
    return image;
}

Image uniformImage(int width, int height, uint8_t blue, uint8_t green, uint8_t red)
{
    Image image(width, height);
    for (size_t i = 0; i < image.bgr.size(); i += 3) {
        image.bgr[i] = blue;
        image.bgr[i + 1] = green;
        image.bgr[i + 2] = red;
    }
    return image;
}

namespace reference {

void ImgResize(Image& image, int w2, int h2)
{
    if (image.width < 10 || image.height < 10) {
        return;
    }
    const Image src = image;
    image = Image(w2, h2);
    const int xs = ((src.width - 1) * 32768) / w2, ys = ((src.height - 1) * 32768) / h2;
    for (int y = 0; y < h2; ++y) {
        const int sy = y * ys, r0 = sy / 32768, r1 = r0 + 1, fy = sy % 32768, wy0 = 32768 - fy;
        for (int x = 0; x < w2; ++x) {
            const int sx = x * xs, c0 = sx / 32768, c1 = c0 + 1, fx = sx % 32768;
            const int wTR = (fx * wy0) / 32768, wTL = wy0 - wTR, wBR = (fx * fy) / 32768, wBL = fy - wBR;
            for (int ch = 0; ch < 3; ++ch) {
                image.pixel(x, y)[ch] = uint8_t((src.pixel(c0, r0)[ch] * wTL + src.pixel(c1, r0)[ch] * wTR +
                                                 src.pixel(c0, r1)[ch] * wBL + src.pixel(c1, r1)[ch] * wBR) /
                                                32768);
            }
        }
    }
}

void ColourChange(Image& image, int red, int green, int blue)
{
    for (size_t i = 0; i < image.bgr.size(); ++i) {
        const int k = std::array{blue, green, red}[i % 3], c = image.bgr[i];
        image.bgr[i] = uint8_t(k > 0 ? std::min(255, c + k) : std::max(0, c + k));
    }
}

int BrightChange(Image& image, int k, int darkLine)
{
    int total = 0;
    for (int y = 0; y < image.height; ++y) {
        total += image.pixel(std::min(darkLine, image.width - 1), y)[2];
    }
    ColourChange(image, k, k, k);
    return total;
}

void Contrast(Image& image, int a)
{
    for (uint8_t& c : image.bgr) {
        const int d = (std::abs(127 - c) * a) / 255;
        c = uint8_t(c > 127 ? c + d : c - d);
    }
}

void Crop(Image& image, int zoom)
{
    const int w = image.width, h = image.height, cw = w * zoom / 30, ch = h * zoom / 30;
    const int left = w / 2 - cw / 2, top = h / 2 - ch / 2;
    const Image src = image;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::copy_n(src.pixel(left + (2 * x + 1) * cw / (2 * w), top + (2 * y + 1) * ch / (2 * h)), 3,
                        image.pixel(x, y));
        }
    }
}

void Sharpen(Image& image, double s)
{
    if (image.width < 3 || image.height < 3 || s < 1) {
        return;
    }
    const int n = int(std::lround((s - 1) / 5 * 65536)), o = int(s * 65536);
    const Image src = image;
    for (int y = 1; y < image.height - 1; ++y) {
        for (int x = 1; x < image.width - 1; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                const int c = src.pixel(x, y)[ch];
                const int sum = c + src.pixel(x, y - 1)[ch] + src.pixel(x - 1, y)[ch] +
                                src.pixel(x + 1, y)[ch] + src.pixel(x, y + 1)[ch];
                image.pixel(x, y)[ch] =
                    uint8_t(std::clamp(((c * o + 32767) >> 16) - ((n * sum + 32767) >> 16), 0, 255));
            }
        }
    }
}

Image process(Image image, const CameraSettings& cam, const VideoSize& size)
{
    if ((image.width != size.videoWidth || image.height != size.videoHeight) && !cam.DontResize) {
        ImgResize(image, size.videoWidth, size.videoHeight);
    }
    BrightChange(image, cam.Bright, cam.DarkLine);
    ColourChange(image, cam.Red, cam.Green, cam.Blue);
    Contrast(image, cam.Contrast);
    Crop(image, cam.Zoom);
    if (image.height > 3) {
        Sharpen(image, cam.Sharpness);
    }
    return image;
}

} // namespace reference

namespace {

Settings passSettings(const std::string& dir)
{
    ensureGuiApplication();
    Settings s = Settings::defaults(dir);
    s.Camera.File = dir + "/snap.jpg";
    return s;
}

} // namespace

PassFixture::PassFixture() : settings(passSettings(dir.path())), pass(settings, busy, camera)
{
    pass.setClock([] {
        std::tm tm{23, 45, 16, 12, 1, 105, 0, 0, -1, 0, nullptr};
        return std::chrono::system_clock::from_time_t(std::mktime(&tm));
    });
    pass.refreshCaptions();
}

} // namespace kestrelon::test
