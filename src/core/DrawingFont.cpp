#include "core/DrawingFont.h"

#include <algorithm>
#include <cmath>

namespace kestrelon {

QFont drawingFont(const std::string& name, int32_t points, int32_t styleBits)
{
    QFont font(QString::fromStdString(name));
    // A stored size below 1 point would give no font at all.
    const int clamped = std::clamp(points, 1, 1000);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(clamped * kDrawingDpi / 72.0))));
    font.setBold(styleBits & 1);
    font.setItalic(styleBits & 2);
    font.setUnderline(styleBits & 4);
    font.setStrikeOut(styleBits & 8);
    return font;
}

} // namespace kestrelon
