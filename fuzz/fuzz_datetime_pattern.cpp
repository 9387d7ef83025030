// libFuzzer target: the date/time pattern formatter. Input: eight bytes of date and time fields,
// each folded into its valid range, then the pattern. Every pattern formats, and the output stays
// within a fixed multiple of the pattern's length.
#include "core/DateTimePattern.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace kestrelon;

namespace {

constexpr size_t kFieldBytes = 8;

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kFieldBytes) {
        return 0;
    }
    const int year = 1 + (data[0] | data[1] << 8) % 9999;
    const int month = 1 + data[2] % 12;
    const int day = 1 + data[3] % daysInMonth(year, month);
    const int hour = data[4] % 24;
    const int minute = data[5] % 60;
    const int second = data[6] % 60;
    // One byte cannot span 0..999; spread it so that one-, two- and three-digit values all occur.
    const int millisecond = data[7] * 999 / 255;
    const DateTimeParts time = DateTimeParts::fromFields(year, month, day, hour, minute, second, millisecond);
    if (time.dayOfWeek < 0 || time.dayOfWeek > 6) {
        std::abort();
    }
    const std::string_view pattern(reinterpret_cast<const char*>(data + kFieldBytes), size - kFieldBytes);

    // With the English locale one pattern byte gives at most "c": "dd/mm/yyyy hh:nn:ss".
    const std::string out = formatDateTime(pattern, time);
    if (out.size() > 19 * pattern.size()) {
        std::abort();
    }

    // A locale whose formats are the pattern itself: the one-level limit keeps it from looping,
    // and the output stays quadratic in the pattern's length at worst.
    if (pattern.size() <= 256) {
        DateTimeLocale looping;
        looping.shortDateFormat = std::string(pattern);
        looping.longDateFormat = std::string(pattern);
        looping.shortTimeFormat = std::string(pattern);
        looping.longTimeFormat = std::string(pattern);
        const std::string nested = formatDateTime(pattern, time, looping);
        // At the inner level a byte gives at most a name or number ("September", a 4-digit year);
        // at the outer level "c" inserts two formats plus a blank.
        if (nested.size() > pattern.size() * (2 * 9 * pattern.size() + 1) + 9 * pattern.size()) {
            std::abort();
        }
    }
    return 0;
}
