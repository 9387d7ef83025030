#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrelon {

// One picture from a video source: 24-bit pixels stored blue, green, red, rows packed without
// padding (width * 3 bytes each), row 0 at the top. This is what the capture hands to the
// snapshot pass and the preview; nothing of the media library behind it shows here.
struct VideoFrame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;

    bool empty() const
    {
        return width <= 0 || height <= 0 || bgr.size() < size_t(width) * size_t(height) * 3;
    }
    uint8_t* row(int y) { return bgr.data() + size_t(y) * size_t(width) * 3; }
    const uint8_t* row(int y) const { return bgr.data() + size_t(y) * size_t(width) * 3; }
};

} // namespace kestrelon
