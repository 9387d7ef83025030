#pragma once

#include <QFont>

#include <cstdint>
#include <string>

namespace kestrelon {

// Text stamped into images (counter digits, snapshot captions) is laid out at 96 dots per inch
// whatever the screen, so a stored point size always gives the same picture.
constexpr int kDrawingDpi = 96;

// The font of a stored font setting: family name (through fontconfig, so "Courier New" becomes
// its metric twin Liberation Mono), size in points and the style bits 1 bold, 2 italic,
// 4 underline, 8 strike-out. Sizes are clamped to 1..1000 points. Any thread, once a
// QGuiApplication exists.
QFont drawingFont(const std::string& name, int32_t points, int32_t styleBits);

} // namespace kestrelon
