#pragma once

#include "core/DrawingFont.h"
#include "core/Settings.h"

#include <QByteArray>
#include <QFont>
#include <QImage>

#include <string>

namespace kestrelon {

// How a counter's digits are drawn: the font (name, size in points, style bits 1 bold, 2 italic,
// 4 underline, 8 strike-out) and the text and background colours as stored in the settings.
struct CounterStyle {
    std::string fontName = "Courier New";
    int32_t fontSize = 14;
    int32_t fontStyle = 0;
    Colour textColour = 0xFFFFFF;
    Colour backColour = 0x000000;

    // The style of counter 1 or 2 from the [WebServe] settings.
    static CounterStyle fromSettings(const WebServeSettings& web, int counter);
};

// Counter images are drawn at the fixed resolution of all text stamped into images.
constexpr int kCounterDpi = kDrawingDpi;

// The font of a style (see drawingFont).
QFont counterFont(const CounterStyle& style);

// The image of a counter text: exactly as wide as the text's advance and as high as one line
// of the font, the text drawn at the top-left corner in the text colour on an opaque background.
// The image is null when the text has no extent (an empty text). Any thread, once a
// QGuiApplication exists (fonts need it).
QImage drawCounterImage(const std::string& text, const CounterStyle& style);

// The image as a Windows bitmap file (24 bits per pixel).
QByteArray bmpBytes(const QImage& image);

} // namespace kestrelon
