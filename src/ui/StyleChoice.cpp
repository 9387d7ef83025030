#include "ui/StyleChoice.h"

#include "core/Colours.h"
#include "core/DrawingFont.h"

#include <algorithm>
#include <cmath>

namespace kestrelon {

QColor toQColor(Colour colour)
{
    return QColor::fromRgb(colourToRgb(colour));
}

Colour toColour(const QColor& colour)
{
    return static_cast<Colour>(colour.red() | (colour.green() << 8) | (colour.blue() << 16));
}

QFont dialogFont(const std::string& name, int32_t points, int32_t styleBits)
{
    QFont font(QString::fromStdString(name));
    font.setPointSize(std::max(1, points));
    font.setBold(styleBits & 1);
    font.setItalic(styleBits & 2);
    font.setUnderline(styleBits & 4);
    font.setStrikeOut(styleBits & 8);
    return font;
}

int32_t pointSize(const QFont& font)
{
    if (font.pointSize() > 0) {
        return font.pointSize();
    }
    return std::max(1, static_cast<int>(std::lround(font.pixelSize() * 72.0 / kDrawingDpi)));
}

int32_t styleBits(const QFont& font)
{
    return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) |
           (font.strikeOut() ? 8 : 0);
}

} // namespace kestrelon
