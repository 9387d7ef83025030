#pragma once

#include "media/VideoFrame.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace kestrelon {

// The snapshot image: 24-bit pixels stored blue, green, red, rows of `width` pixels packed
// without padding, row 0 at the top. Every adjustment works on it in place. A plain value;
// any thread, one at a time.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;

    Image() = default;
    Image(int w, int h) : width(w), height(h), bgr(size_t(w > 0 ? w : 0) * size_t(h > 0 ? h : 0) * 3) {}

    bool empty() const { return width <= 0 || height <= 0; }
    size_t stride() const { return size_t(width) * 3; }
    uint8_t* row(int y) { return bgr.data() + size_t(y) * stride(); }
    const uint8_t* row(int y) const { return bgr.data() + size_t(y) * stride(); }
    uint8_t* pixel(int x, int y) { return row(y) + size_t(x) * 3; }
    const uint8_t* pixel(int x, int y) const { return row(y) + size_t(x) * 3; }

    bool operator==(const Image&) const = default;

    // Takes over the frame's pixels without copying them. A frame whose buffer is shorter than
    // its size says gives an empty image.
    static Image fromFrame(VideoFrame&& frame);
    // Any QImage, converted to 24-bit blue, green, red.
    static Image fromQImage(const QImage& image);
    // A copy as a QImage (Format_BGR888) for showing in a window.
    QImage toQImage() const;
    // A QImage that paints straight into these pixels; valid while the image is not resized.
    QImage wrap();
};

} // namespace kestrelon
