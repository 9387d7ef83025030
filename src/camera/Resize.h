#pragma once

#include "camera/Adjustments.h"
#include "camera/Image.h"

// Rescaling and zoom of the snapshot image. Pure functions; any thread.

namespace kestrelon {

// Pictures narrower or lower than this are never rescaled.
constexpr int kMinResizeSide = 10;

// Bilinear rescale in 15-bit fixed point to w x h. A source narrower or lower than 10 pixels,
// or a target size that is not positive, leaves the image unchanged.
void ImgResize(Image& image, int width, int height);

// The source rectangle of the zoom: zoom 30 is the whole image, 9 about a third of each side,
// centred. The side is side * zoom / 30, truncated; zoom is held to 9..30.
struct ZoomRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
ZoomRect zoomRect(int width, int height, int zoom);

// Zoom about the centre: the zoom rectangle stretched back to the whole image, each target
// pixel taking the source pixel under its centre.
void Crop(Image& image, int zoom);

// The snapshot pass's copy: ImgResize to w x h when `resize` is set, the channel tables, then
// Crop, in one sweep over the target that reads only the source pixels it needs. The result is
// byte for byte what the three steps give one after the other.
Image resizeMapZoom(const Image& source, bool resize, int width, int height, const ChannelTables& tables,
                    int zoom);

// The brightness measurement (see measureBrightness) of the image ImgResize would make of
// `source` at w x h (or of the source itself when `resize` is not set), without making it.
int measureResizedBrightness(const Image& source, bool resize, int width, int height, int darkLine);

} // namespace kestrelon
