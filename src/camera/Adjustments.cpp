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

namespace {

// One row of the kernel: dst[i] from the source rows above, here and below, for the channel
// values 3 .. end - 1 (the first and last pixel stay). T is wide enough for c * O and N * sum.
template <typename T>
void sharpenRow(const uint8_t* __restrict above, const uint8_t* __restrict here,
                const uint8_t* __restrict below, uint8_t* __restrict dst, size_t end, T n, T o)
{
    for (size_t i = 3; i < end; ++i) {
        const T c = here[i];
        const T sum = c + above[i] + below[i] + here[i - 3] + here[i + 3];
        const T v = ((c * o + 32767) >> 16) - ((n * sum + 32767) >> 16);
        dst[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

// The same for a whole-number strength s up to 100 in 16-bit lanes, which the compiler runs eight
// or sixteen at a time: ((c * O + 32767) >> 16) is c * s exactly, and with N = nHigh * 65536 + nLow,
// ((N * sum + 32767) >> 16) = nHigh * sum + high16(nLow * sum) + (low16(nLow * sum) >= 32769).
// Every intermediate stays within +-25500.
void sharpenRowWhole(const uint8_t* __restrict above, const uint8_t* __restrict here,
                     const uint8_t* __restrict below, uint8_t* __restrict dst, size_t end, uint16_t s,
                     uint16_t nHigh, uint16_t nLow)
{
    for (size_t i = 3; i < end; ++i) {
        const uint16_t c = here[i];
        const uint16_t sum = uint16_t(c + above[i] + below[i] + here[i - 3] + here[i + 3]);
        const uint16_t high = uint16_t((uint32_t(nLow) * sum) >> 16);
        const uint16_t low = uint16_t(nLow * sum);
        const int16_t v = int16_t(int16_t(c * s) - int16_t(nHigh * sum + high + (low >= 32769 ? 1 : 0)));
        dst[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

// In place, keeping copies of the two source rows that are overwritten before their last use.
template <typename Row> void sharpenRows(Image& image, Row sharpenOneRow)
{
    const size_t stride = image.stride();
    std::vector<uint8_t> above(image.row(0), image.row(0) + stride);
    std::vector<uint8_t> here(stride);
    for (int y = 1; y < image.height - 1; ++y) {
        std::copy_n(image.row(y), stride, here.data());
        sharpenOneRow(above.data(), here.data(), image.row(y + 1), image.row(y), stride - 3);
        above.swap(here);
    }
}

} // namespace

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
    using Rows = const uint8_t*;
    if (strength <= 100.0 && o % 65536 == 0) {
        const auto s = uint16_t(o >> 16), high = uint16_t(n >> 16), low = uint16_t(n & 0xFFFF);
        sharpenRows(image, [&](Rows a, Rows h, Rows b, uint8_t* d, size_t end) {
            sharpenRowWhole(a, h, b, d, end, s, high, low);
        });
    } else {
        // 64 bits hold 255 * O and 1275 * N for any strength a caller may pass.
        sharpenRows(image, [&](Rows a, Rows h, Rows b, uint8_t* d, size_t end) {
            sharpenRow<int64_t>(a, h, b, d, end, n, o);
        });
    }
}

} // namespace kestrelon
