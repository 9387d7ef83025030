#pragma once

#include "media/VideoFrame.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kestrelon {

// The snapshot image: a video frame (24-bit pixels stored blue, green, red, rows packed without
// padding, row 0 at the top) with what the adjustments and the window need on top. Every
// adjustment works on it in place. A plain value; any thread, one at a time.
struct Image : VideoFrame {
    Image() = default;
    Image(int w, int h)
        : VideoFrame{w, h, std::vector<uint8_t>(size_t(std::max(w, 0)) * size_t(std::max(h, 0)) * 3)}
    {
    }

    size_t stride() const { return size_t(width) * 3; }
    uint8_t* pixel(int x, int y) { return row(y) + size_t(x) * 3; }
    const uint8_t* pixel(int x, int y) const { return row(y) + size_t(x) * 3; }

    bool operator==(const Image& other) const
    {
        return width == other.width && height == other.height && bgr == other.bgr;
    }

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
