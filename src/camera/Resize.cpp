#include "camera/Resize.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrelon {

namespace {

constexpr int kOne = 32768; // 1.0 in the 15-bit fixed point of the rescale

// Where one target column (or row) of the rescale reads: source index i0 (and i0 + 1) and the
// fraction of the second one.
struct Tap {
    int index = 0;
    int frac = 0;
};

bool canResize(const Image& source, int width, int height)
{
    return source.width >= kMinResizeSide && source.height >= kMinResizeSide && width > 0 && height > 0;
}

// The rescale's steps: target position t reads source position t * step, step =
// ((sourceLength - 1) * 32768) div targetLength, so the first index never reaches the last
// source pixel and the second stays inside.
std::vector<Tap> bilinearTaps(int sourceLength, int targetLength)
{
    const int64_t step = (int64_t(sourceLength - 1) * kOne) / targetLength;
    std::vector<Tap> taps(static_cast<size_t>(targetLength));
    for (int t = 0; t < targetLength; ++t) {
        const int64_t s = t * step;
        taps[size_t(t)] = {int(s / kOne), int(s % kOne)};
    }
    return taps;
}

// The taps of the source pixels a target of `length` reads when no rescale happens.
std::vector<Tap> directTaps(int length)
{
    std::vector<Tap> taps(static_cast<size_t>(length));
    for (int t = 0; t < length; ++t) {
        taps[size_t(t)] = {t, 0};
    }
    return taps;
}

// The index under the centre of target pixel t when `span` pixels from `first` are stretched
// over `length`.
std::vector<int> zoomIndices(int first, int span, int length)
{
    std::vector<int> indices(static_cast<size_t>(length));
    for (int t = 0; t < length; ++t) {
        indices[size_t(t)] = first + int((int64_t(2 * t + 1) * span) / (int64_t(2) * length));
    }
    return indices;
}

template <typename T> std::vector<T> pick(const std::vector<T>& from, const std::vector<int>& indices)
{
    std::vector<T> picked(indices.size());
    for (size_t i = 0; i < indices.size(); ++i) {
        picked[i] = from[size_t(indices[i])];
    }
    return picked;
}

// The sweep behind ImgResize, Crop and the pass's copy: target pixel (x, y) is the source read
// through columns[x] and rows[y], bilinear when `bilinear` is set, then mapped by the tables.
// All weights and sums are non-negative and below 2^24, so unsigned shifts divide exactly.
Image sample(const Image& source, const std::vector<Tap>& columns, const std::vector<Tap>& rows,
             bool bilinear, const ChannelTables& tables)
{
    Image out(int(columns.size()), int(rows.size()));
    // Byte offsets of the columns read, their fractions and, per row, their weights, side by
    // side for the inner loop.
    std::vector<uint32_t> offsets(columns.size()), fractions(columns.size()), rightTop(columns.size()),
        rightBottom(columns.size());
    for (size_t x = 0; x < columns.size(); ++x) {
        offsets[x] = uint32_t(columns[x].index) * 3;
        fractions[x] = uint32_t(columns[x].frac);
    }
    const uint8_t* const b = tables.table[0].data();
    const uint8_t* const g = tables.table[1].data();
    const uint8_t* const r = tables.table[2].data();
    const size_t width = columns.size();
    for (int y = 0; y < out.height; ++y) {
        const Tap row = rows[size_t(y)];
        const uint8_t* top = source.row(row.index);
        uint8_t* dst = out.row(y);
        if (!bilinear) {
            for (size_t x = 0; x < width; ++x, dst += 3) {
                const uint8_t* p = top + offsets[x];
                dst[0] = b[p[0]];
                dst[1] = g[p[1]];
                dst[2] = r[p[2]];
            }
            continue;
        }
        const uint8_t* bottom = source.row(row.index + 1);
        const uint32_t fy = uint32_t(row.frac);
        const uint32_t wy0 = kOne - fy;
        for (size_t x = 0; x < width; ++x) { // runs on vectors
            rightTop[x] = (fractions[x] * wy0) >> 15;
            rightBottom[x] = (fractions[x] * fy) >> 15;
        }
        for (size_t x = 0; x < width; ++x, dst += 3) {
            const uint32_t wTR = rightTop[x];
            const uint32_t wTL = wy0 - wTR;
            const uint32_t wBR = rightBottom[x];
            const uint32_t wBL = fy - wBR;
            const uint8_t* t = top + offsets[x];
            const uint8_t* u = bottom + offsets[x];
            dst[0] = b[(t[0] * wTL + t[3] * wTR + u[0] * wBL + u[3] * wBR) >> 15];
            dst[1] = g[(t[1] * wTL + t[4] * wTR + u[1] * wBL + u[4] * wBR) >> 15];
            dst[2] = r[(t[2] * wTL + t[5] * wTR + u[2] * wBL + u[5] * wBR) >> 15];
        }
    }
    return out;
}

} // namespace

void ImgResize(Image& image, int width, int height)
{
    if (!canResize(image, width, height)) {
        return;
    }
    image = sample(image, bilinearTaps(image.width, width), bilinearTaps(image.height, height), true,
                   ChannelTables::identity());
}

ZoomRect zoomRect(int width, int height, int zoom)
{
    zoom = std::clamp(zoom, 9, 30);
    ZoomRect r;
    r.width = int((int64_t(width) * zoom) / 30);
    r.height = int((int64_t(height) * zoom) / 30);
    r.left = width / 2 - r.width / 2;
    r.top = height / 2 - r.height / 2;
    return r;
}

void Crop(Image& image, int zoom)
{
    const ZoomRect r = zoomRect(image.width, image.height, zoom);
    if (image.empty() || (r.width == image.width && r.height == image.height)) {
        return;
    }
    image = sample(image, pick(directTaps(image.width), zoomIndices(r.left, r.width, image.width)),
                   pick(directTaps(image.height), zoomIndices(r.top, r.height, image.height)), false,
                   ChannelTables::identity());
}

Image resizeMapZoom(const Image& source, bool resize, int width, int height, const ChannelTables& tables,
                    int zoom)
{
    if (source.empty()) {
        return {};
    }
    resize = resize && canResize(source, width, height);
    if (!resize) {
        width = source.width;
        height = source.height;
    }
    const std::vector<Tap> columns = resize ? bilinearTaps(source.width, width) : directTaps(width);
    const std::vector<Tap> rows = resize ? bilinearTaps(source.height, height) : directTaps(height);
    const ZoomRect r = zoomRect(width, height, zoom);
    return sample(source, pick(columns, zoomIndices(r.left, r.width, width)),
                  pick(rows, zoomIndices(r.top, r.height, height)), resize, tables);
}

int measureResizedBrightness(const Image& source, bool resize, int width, int height, int darkLine)
{
    if (!resize || !canResize(source, width, height)) {
        return measureBrightness(source, darkLine);
    }
    const int x = std::clamp(darkLine, 0, width - 1);
    const std::vector<Tap> column = {bilinearTaps(source.width, width)[size_t(x)]};
    return measureBrightness(
        sample(source, column, bilinearTaps(source.height, height), true, ChannelTables::identity()), 0);
}

} // namespace kestrelon
