#include "camera/Adjustments.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace kestrelon {

namespace {

constexpr int kBlue = 0;
constexpr int kGreen = 1;
constexpr int kRed = 2;

uint8_t toByte(int64_t v)
{
    return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

} // namespace

ChannelTables ChannelTables::identity()
{
    ChannelTables t;
    for (auto& channel : t.table) {
        for (int v = 0; v < 256; ++v) {
            channel[size_t(v)] = uint8_t(v);
        }
    }
    return t;
}

ChannelTables ChannelTables::then(const ChannelTables& next) const
{
    ChannelTables t;
    for (size_t c = 0; c < 3; ++c) {
        for (size_t v = 0; v < 256; ++v) {
            t.table[c][v] = next.table[c][table[c][v]];
        }
    }
    return t;
}

bool ChannelTables::isIdentity() const
{
    return table == identity().table;
}

uint8_t clampedOffset(int value, int offset)
{
    return offset > 0 ? uint8_t(std::min(255, value + offset)) : uint8_t(std::max(0, value + offset));
}

uint8_t contrastValue(int value, int amount)
{
    const int d = (std::abs(127 - value) * amount) / 255;
    return toByte(value > 127 ? value + d : value - d);
}

ChannelTables brightnessTables(int offset)
{
    return colourTables(offset, offset, offset);
}

ChannelTables colourTables(int red, int green, int blue)
{
    ChannelTables t;
    for (int v = 0; v < 256; ++v) {
        t.table[kBlue][size_t(v)] = clampedOffset(v, blue);
        t.table[kGreen][size_t(v)] = clampedOffset(v, green);
        t.table[kRed][size_t(v)] = clampedOffset(v, red);
    }
    return t;
}

ChannelTables contrastTables(int amount)
{
    ChannelTables t;
    for (int v = 0; v < 256; ++v) {
        const uint8_t out = contrastValue(v, amount);
        for (auto& channel : t.table) {
            channel[size_t(v)] = out;
        }
    }
    return t;
}

void applyTables(Image& image, const ChannelTables& tables)
{
    if (image.empty() || tables.isIdentity()) {
        return;
    }
    const auto& b = tables.table[kBlue];
    const auto& g = tables.table[kGreen];
    const auto& r = tables.table[kRed];
    uint8_t* p = image.bgr.data();
    uint8_t* const end = p + image.stride() * size_t(image.height);
    for (; p < end; p += 3) {
        p[0] = b[p[0]];
        p[1] = g[p[1]];
        p[2] = r[p[2]];
    }
}

int measurementColumn(const Image& image, int darkLine)
{
    if (image.empty()) {
        return -1;
    }
    return std::clamp(darkLine, 0, image.width - 1);
}

int measureBrightness(const Image& image, int darkLine)
{
    const int x = measurementColumn(image, darkLine);
    int total = 0;
    for (int y = 0; x >= 0 && y < image.height; ++y) {
        total += image.pixel(x, y)[kRed];
    }
    return total;
}

int BrightChange(Image& image, int offset, int darkLine)
{
    const int total = measureBrightness(image, darkLine);
    applyTables(image, brightnessTables(offset));
    return total;
}

void ColourChange(Image& image, int red, int green, int blue)
{
    applyTables(image, colourTables(red, green, blue));
}

void Contrast(Image& image, int amount)
{
    applyTables(image, contrastTables(amount));
}

void Sharpen(Image& image, double strength)
{
    if (image.width < 3 || image.height < 3 || !(strength >= 1.0) || !std::isfinite(strength)) {
        return;
    }
    const int64_t n = std::llround((strength - 1.0) / 5.0 * 65536.0);
    const int64_t o = std::llround(strength * 65536.0);
    if (n == 0 && o == 65536) {
        return; // the kernel is the identity
    }
    // Both terms of the formula come from tables: the centre term by the pixel's own value,
    // the neighbour term by the five-point sum (0 to 5 * 255).
    int64_t centre[256];
    for (int c = 0; c < 256; ++c) {
        centre[c] = (c * o + 32767) >> 16;
    }
    std::vector<int64_t> neighbours(5 * 255 + 1);
    for (size_t sum = 0; sum < neighbours.size(); ++sum) {
        neighbours[sum] = (n * int64_t(sum) + 32767) >> 16;
    }
    const size_t stride = image.stride();
    Image out(image.width, image.height);
    std::copy_n(image.row(0), stride, out.row(0));
    std::copy_n(image.row(image.height - 1), stride, out.row(image.height - 1));
    const size_t inner = (size_t(image.width) - 2) * 3;
    for (int y = 1; y < image.height - 1; ++y) {
        const uint8_t* above = image.row(y - 1);
        const uint8_t* here = image.row(y);
        const uint8_t* below = image.row(y + 1);
        uint8_t* dst = out.row(y);
        std::copy_n(here, 3, dst);
        std::copy_n(here + stride - 3, 3, dst + stride - 3);
        for (size_t i = 3; i < inner + 3; ++i) {
            const int c = here[i];
            const int sum = c + above[i] + below[i] + here[i - 3] + here[i + 3];
            dst[i] = toByte(centre[c] - neighbours[size_t(sum)]);
        }
    }
    image = std::move(out);
}

} // namespace kestrelon
