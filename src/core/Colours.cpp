#include "core/Colours.h"

#include "core/Text.h"

#include "core/IntText.h"

#include <cctype>
#include <cstdio>

namespace kestrelon {

namespace {

struct NamedColour {
    const char* name;
    uint32_t value;
};

constexpr uint32_t sys(uint32_t index)
{
    return 0xFF000000u + index;
}

// Twenty fixed colours, thirty system colours, then clNone and clDefault.
constexpr NamedColour kNames[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clScrollBar", sys(0)},
    {"clBackground", sys(1)},
    {"clActiveCaption", sys(2)},
    {"clInactiveCaption", sys(3)},
    {"clMenu", sys(4)},
    {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)},
    {"clMenuText", sys(7)},
    {"clWindowText", sys(8)},
    {"clCaptionText", sys(9)},
    {"clActiveBorder", sys(10)},
    {"clInactiveBorder", sys(11)},
    {"clAppWorkSpace", sys(12)},
    {"clHighlight", sys(13)},
    {"clHighlightText", sys(14)},
    {"clBtnFace", sys(15)},
    {"clBtnShadow", sys(16)},
    {"clGrayText", sys(17)},
    {"clBtnText", sys(18)},
    {"clInactiveCaptionText", sys(19)},
    {"clBtnHighlight", sys(20)},
    {"cl3DDkShadow", sys(21)},
    {"cl3DLight", sys(22)},
    {"clInfoText", sys(23)},
    {"clInfoBk", sys(24)},
    {"clHotLight", sys(26)},
    {"clGradientActiveCaption", sys(27)},
    {"clGradientInactiveCaption", sys(28)},
    {"clMenuHighlight", sys(29)},
    {"clMenuBar", sys(30)},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
};
static_assert(sizeof kNames / sizeof kNames[0] == 52);

} // namespace

std::string colourToText(Colour colour)
{
    for (const NamedColour& n : kNames) {
        if (n.value == static_cast<uint32_t>(colour)) {
            return n.name;
        }
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<uint32_t>(colour));
    return buf;
}

std::optional<Colour> colourFromText(std::string_view text)
{
    for (const NamedColour& n : kNames) {
        if (equalsIgnoreCase(text, n.name)) {
            return static_cast<Colour>(n.value);
        }
    }
    if (auto value = parseInt32(text)) {
        return *value;
    }
    return std::nullopt;
}

} // namespace kestrelon

namespace kestrelon {

uint32_t colourToRgb(Colour colour)
{
    const uint32_t value = static_cast<uint32_t>(colour);
    if ((value & 0xFF000000u) == 0xFF000000u) {
        // The system colours by index, as 0xRRGGBB.
        static constexpr uint32_t kSystem[31] = {
            0xDCDCDC, 0x3A6EA5, 0x308CC6, 0xBFBFBF, 0xEFEFEF, 0xFFFFFF, 0x767676, 0x000000,
            0x000000, 0xFFFFFF, 0xB8B8B8, 0xDCDCDC, 0x9F9F9F, 0x308CC6, 0xFFFFFF, 0xEFEFEF,
            0x9F9F9F, 0x808080, 0x000000, 0x000000, 0xFFFFFF, 0x767676, 0xCACACA, 0x000000,
            0xFFFFDC, 0xEFEFEF, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x308CC6, 0xEFEFEF,
        };
        uint32_t index = value & 0xFFu;
        return index < 31 ? kSystem[index] : 0x000000;
    }
    if (value == 0x1FFFFFFFu || value == 0x20000000u) {
        return 0xFFFFFF; // clNone and clDefault: the window's own background
    }
    // Stored colours hold blue in the high byte, red in the low one.
    return ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
}

} // namespace kestrelon
