#include "camera/SnapshotFile.h"

#include "camera/GifEncoder.h"
#include "camera/JpegEncoder.h"
#include "core/AtomicFile.h"
#include "core/BmpWriter.h"

namespace kestrelon {

std::string_view fileExtension(std::string_view path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return path.substr(dot);
}

SnapshotFormat snapshotFormat(std::string_view path)
{
    const std::string_view ext = fileExtension(path);
    if (ext == ".bmp") {
        return SnapshotFormat::Bmp;
    }
    if (ext == ".gif") {
        return SnapshotFormat::Gif;
    }
    if (ext == ".jpg") {
        return SnapshotFormat::Jpeg;
    }
    return SnapshotFormat::None;
}

bool encodeSnapshot(const Image& image, SnapshotFormat format, int quality, std::string& out,
                    std::string& error)
{
    switch (format) {
    case SnapshotFormat::Bmp:
        out = bmpFileBytes(image.width, image.height, image.bgr.data(), image.stride());
        if (out.empty()) {
            error = "empty image";
            return false;
        }
        return true;
    case SnapshotFormat::Gif:
        return encodeGif(image, out, error);
    case SnapshotFormat::Jpeg:
        return encodeJpeg(image, quality, out, error);
    case SnapshotFormat::None:
        break;
    }
    error = "not a .bmp, .gif or .jpg file";
    return false;
}

bool writeSnapshot(const Image& image, const std::string& path, int quality, std::string& error)
{
    std::string bytes;
    if (!encodeSnapshot(image, snapshotFormat(path), quality, bytes, error)) {
        return false;
    }
    // The web server serves it to anyone: readable by all, like a page. It is rewritten up to
    // every second; waiting for the disk each time would cost more than the whole pass, and a
    // snapshot lost in a power cut is replaced by the next one.
    return replaceFileAtomically(path, bytes, 0644, /*keepMode=*/true, error, Durability::ReadersOnly);
}

} // namespace kestrelon
