#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrelon {

// A Windows bitmap file (BITMAPINFOHEADER, 24 bits per pixel, uncompressed, 96 dpi) of a picture
// given as rows of blue, green, red bytes, row 0 at the top, `stride` bytes apart. Returns an
// empty string when the size is not positive. Pure; any thread.
std::string bmpFileBytes(int width, int height, const uint8_t* bgrRows, size_t stride);

} // namespace kestrelon
