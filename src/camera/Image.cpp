#include "camera/Image.h"

#include <cstring>

namespace kestrelon {

Image Image::fromFrame(VideoFrame&& frame)
{
    Image image;
    if (frame.empty()) {
        return image;
    }
    static_cast<VideoFrame&>(image) = std::move(frame);
    image.bgr.resize(image.stride() * size_t(image.height));
    return image;
}

Image Image::fromQImage(const QImage& source)
{
    if (source.isNull()) {
        return {};
    }
    const QImage converted = source.convertToFormat(QImage::Format_BGR888);
    Image image(converted.width(), converted.height());
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(image.row(y), converted.constScanLine(y), image.stride());
    }
    return image;
}

QImage Image::toQImage() const
{
    if (empty()) {
        return {};
    }
    QImage image(width, height, QImage::Format_BGR888);
    for (int y = 0; y < height; ++y) {
        std::memcpy(image.scanLine(y), row(y), stride());
    }
    return image;
}

QImage Image::wrap()
{
    if (empty()) {
        return {};
    }
    return QImage(bgr.data(), width, height, qsizetype(stride()), QImage::Format_BGR888);
}

} // namespace kestrelon
