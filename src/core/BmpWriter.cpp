#include "core/BmpWriter.h"

#include <cstring>

namespace kestrelon {

namespace {

void put16(char*& p, uint32_t v)
{
    *p++ = char(v & 0xFF);
    *p++ = char((v >> 8) & 0xFF);
}

void put32(char*& p, uint32_t v)
{
    put16(p, v & 0xFFFF);
    put16(p, v >> 16);
}

} // namespace

std::string bmpFileBytes(int width, int height, const uint8_t* bgrRows, size_t stride)
{
    if (width <= 0 || height <= 0 || !bgrRows) {
        return {};
    }
    constexpr uint32_t kHeaderSize = 14 + 40;
    constexpr uint32_t kPixelsPerMeter = 3780; // 96 dpi
    const size_t rowBytes = size_t(width) * 3;
    const size_t paddedRow = (rowBytes + 3) & ~size_t(3);
    const size_t pixelBytes = paddedRow * size_t(height);
    std::string file(kHeaderSize + pixelBytes, '\0');
    char* p = file.data();
    *p++ = 'B';
    *p++ = 'M';
    put32(p, uint32_t(file.size()));
    put32(p, 0);           // reserved
    put32(p, kHeaderSize); // offset of the pixels
    put32(p, 40);          // BITMAPINFOHEADER
    put32(p, uint32_t(width));
    put32(p, uint32_t(height)); // positive: rows stored bottom-up
    put16(p, 1);                // planes
    put16(p, 24);               // bits per pixel
    put32(p, 0);                // BI_RGB
    put32(p, uint32_t(pixelBytes));
    put32(p, kPixelsPerMeter);
    put32(p, kPixelsPerMeter);
    put32(p, 0); // colours used
    put32(p, 0); // important colours
    for (int y = height - 1; y >= 0; --y) {
        std::memcpy(p, bgrRows + size_t(y) * stride, rowBytes);
        p += paddedRow; // the padding stays zero
    }
    return file;
}

} // namespace kestrelon
