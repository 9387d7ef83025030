// libFuzzer target: the readers of single values in the settings file: numbers (also numbers
// kept as text), colours, times of day and the port address. Input: the value's text.
// Whatever a reader accepts, written back in the program's own form, reads as the same value.
#include "FuzzCheck.h"
#include "core/Colours.h"
#include "core/IntText.h"
#include "core/SettingsKeys.h"
#include "portio/PortAddress.h"

#include <cstdio>
#include <string>

using namespace kestrelon;
using kestrelon::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    for (bool zeroX : {false, true}) {
        if (const auto number = parseInt32(text, zeroX)) {
            check(parseInt32(std::to_string(*number), zeroX) == number);
            char hex[16];
            std::snprintf(hex, sizeof hex, "$%X", static_cast<uint32_t>(*number));
            check(parseInt32(hex, zeroX) == number);
        }
        // Blanks around a number kept as text do not matter.
        check(parseSettingNumber(" \t" + text + "  ", zeroX) == parseSettingNumber(text, zeroX));
    }

    if (const auto colour = colourFromText(text)) {
        const std::string stored = colourToText(*colour);
        check(colourFromText(stored) == colour);
    }

    if (const auto seconds = timeOfDayFromText(text)) {
        check(*seconds >= 0 && *seconds < 24 * 60 * 60);
        check(timeOfDayFromText(timeOfDayToText(*seconds)) == seconds);
    }

    if (const auto address = portAddressFromText(text)) {
        char typed[16];
        std::snprintf(typed, sizeof typed, "%04XH", *address);
        check(portAddressFromText(typed) == address);
        check(portStatusText(text, true).find(portAddressDigits(text)) != std::string::npos);
    }
    check(portStatusText(text, false).empty());
    return 0;
}
