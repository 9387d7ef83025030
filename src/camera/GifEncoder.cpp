#include "camera/GifEncoder.h"

#include <gif_lib.h>

#include <memory>
#include <vector>

namespace kestrelon {

namespace {

int appendBytes(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), size_t(length));
    return length;
}

std::string gifError(int code)
{
    const char* text = GifErrorString(code);
    return text ? text : "GIF error " + std::to_string(code);
}

} // namespace

bool encodeGif(const Image& image, std::string& out, std::string& error)
{
    out.clear();
    if (image.empty() || image.width > 65535 || image.height > 65535) {
        error = "image size not suitable for GIF";
        return false;
    }
    const size_t pixels = size_t(image.width) * size_t(image.height);
    std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        blue[i] = image.bgr[i * 3];
        green[i] = image.bgr[i * 3 + 1];
        red[i] = image.bgr[i * 3 + 2];
    }
    int colours = 256;
    GifColorType palette[256] = {};
    if (GifQuantizeBuffer(unsigned(image.width), unsigned(image.height), &colours, red.data(), green.data(),
                          blue.data(), indices.data(), palette) == GIF_ERROR) {
        error = "colour reduction failed";
        return false;
    }
    // The library builds its palette from colours cut to 5 bits, so white would come out as
    // 248: each entry becomes the true mean of the pixels given to it instead.
    uint64_t sums[256][3] = {};
    uint64_t counts[256] = {};
    for (size_t i = 0; i < pixels; ++i) {
        const GifByteType index = indices[i];
        sums[index][0] += red[i];
        sums[index][1] += green[i];
        sums[index][2] += blue[i];
        ++counts[index];
    }
    for (int c = 0; c < colours; ++c) {
        if (const uint64_t n = counts[c]) {
            palette[c].Red = GifByteType((sums[c][0] + n / 2) / n);
            palette[c].Green = GifByteType((sums[c][1] + n / 2) / n);
            palette[c].Blue = GifByteType((sums[c][2] + n / 2) / n);
        }
    }
    // The map of the file needs a power of two entries; the unused ones stay black.
    std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(GifMakeMapObject(256, palette),
                                                                   GifFreeMapObject);
    if (!map) {
        error = "out of memory";
        return false;
    }
    std::string bytes;
    int code = 0;
    GifFileType* gif = EGifOpen(&bytes, appendBytes, &code);
    if (!gif) {
        error = gifError(code);
        return false;
    }
    bool ok = EGifPutScreenDesc(gif, image.width, image.height, 8, 0, map.get()) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < image.height; ++y) {
        ok = EGifPutLine(gif, indices.data() + size_t(y) * size_t(image.width), image.width) == GIF_OK;
    }
    if (!ok) {
        code = gif->Error;
    }
    int closeCode = 0;
    if (EGifCloseFile(gif, &closeCode) != GIF_OK && ok) {
        ok = false;
        code = closeCode;
    }
    if (!ok) {
        error = gifError(code);
        return false;
    }
    out = std::move(bytes);
    return true;
}

} // namespace kestrelon
