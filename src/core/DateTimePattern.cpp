#include "core/DateTimePattern.h"

#include <algorithm>
#include <cstdint>
#include <ctime>

namespace kestrelon {

namespace {

// The pattern itself is level 1 and the locale formats it inserts are level 2; inserts from
// level 2 give nothing. This bounds the output and stops self-referring formats.
constexpr int kMaxPatternLevel = 2;

// Days since 1 January 1970 of a proleptic Gregorian date; a month outside 1..12 carries into
// the year. 64-bit throughout, so no int field value overflows.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day)
{
    int64_t monthIndex = month - 1;
    year += monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12;
    month = monthIndex - (monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12) * 12 + 1;
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// ASCII only: bytes above 127 are never letters, whatever the C locale says.
bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char toUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool matchesNoCase(std::string_view text, size_t pos, std::string_view word)
{
    if (text.size() - pos < word.size()) {
        return false;
    }
    for (size_t i = 0; i < word.size(); ++i) {
        if (toUpper(text[pos + i]) != toUpper(word[i])) {
            return false;
        }
    }
    return true;
}

enum class AmPm { None, Pair, Letters, Locale };

// The am/pm token that starts at pos, with its length.
AmPm amPmAt(std::string_view pattern, size_t pos, size_t& length)
{
    if (matchesNoCase(pattern, pos, "am/pm")) {
        length = 5;
        return AmPm::Pair;
    }
    if (matchesNoCase(pattern, pos, "a/p")) {
        length = 3;
        return AmPm::Letters;
    }
    if (matchesNoCase(pattern, pos, "ampm")) {
        length = 4;
        return AmPm::Locale;
    }
    length = 1;
    return AmPm::None;
}

bool isQuote(char c)
{
    return c == '\'' || c == '"';
}

// Whether an am/pm token stands at or after pos, outside quotes and before the next hour
// token. The scan stops at the next h, so all hour runs of a pattern together read it once.
bool amPmFollows(std::string_view pattern, size_t pos)
{
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (isQuote(c)) {
            const size_t end = pattern.find(c, pos + 1);
            if (end == std::string_view::npos) {
                return false;
            }
            pos = end + 1;
            continue;
        }
        if (toUpper(c) == 'H') {
            return false;
        }
        size_t length;
        if (toUpper(c) == 'A' && amPmAt(pattern, pos, length) != AmPm::None) {
            return true;
        }
        ++pos;
    }
    return false;
}

void appendNumber(std::string& out, int64_t value, size_t minDigits)
{
    if (value < 0) {
        out += '-';
    }
    // Digits of the magnitude, built from the low end; unsigned so that INT64_MIN works too.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    for (size_t i = count; i < minDigits; ++i) {
        out += '0';
    }
    while (count > 0) {
        out += digits[--count];
    }
}

// A name of the table, or nothing when the index is out of its range.
template <size_t N> const std::string& nameAt(const std::array<std::string, N>& names, int64_t index)
{
    static const std::string none;
    return index >= 0 && index < static_cast<int64_t>(N) ? names[static_cast<size_t>(index)] : none;
}

void appendFormatted(std::string& out, std::string_view pattern, const DateTimeParts& t,
                     const DateTimeLocale& locale, int level)
{
    if (level > kMaxPatternLevel) {
        return;
    }
    // The minute rule: a run of m means minutes when the last letter token was an hour token.
    bool afterHour = false;
    size_t pos = 0;
    while (pos < pattern.size()) {
        const char c = pattern[pos];
        if (isQuote(c)) {
            const size_t end = pattern.find(c, pos + 1);
            if (end == std::string_view::npos) {
                out += pattern.substr(pos + 1);
                return;
            }
            out += pattern.substr(pos + 1, end - pos - 1);
            pos = end + 1;
            continue;
        }
        if (!isLetter(c)) {
            if (c == '/') {
                out += locale.dateSeparator;
            } else if (c == ':') {
                out += locale.timeSeparator;
            } else {
                out += c;
            }
            ++pos;
            continue;
        }

        const char token = toUpper(c);
        const bool minutesByRule = afterHour;
        afterHour = token == 'H';
        if (token == 'A') {
            // Read one letter at a time so that "aam/pm" still finds its "am/pm".
            size_t length;
            switch (amPmAt(pattern, pos, length)) {
            case AmPm::Pair:
                out += t.hour < 12 ? pattern.substr(pos, 2) : pattern.substr(pos + 3, 2);
                break;
            case AmPm::Letters:
                out += t.hour < 12 ? pattern.substr(pos, 1) : pattern.substr(pos + 2, 1);
                break;
            case AmPm::Locale:
                out += t.hour < 12 ? locale.timeAMString : locale.timePMString;
                break;
            case AmPm::None:
                out += c;
                break;
            }
            pos += length;
            continue;
        }

        size_t run = 1;
        while (pos + run < pattern.size() && pattern[pos + run] == c) {
            ++run;
        }
        switch (token) {
        case 'D':
            if (run <= 2) {
                appendNumber(out, t.day, run);
            } else if (run == 3) {
                out += nameAt(locale.shortDayNames, t.dayOfWeek);
            } else if (run == 4) {
                out += nameAt(locale.longDayNames, t.dayOfWeek);
            } else if (run == 5) {
                appendFormatted(out, locale.shortDateFormat, t, locale, level + 1);
            } else {
                appendFormatted(out, locale.longDateFormat, t, locale, level + 1);
            }
            break;
        case 'M':
            if (minutesByRule) {
                appendNumber(out, t.minute, std::min<size_t>(run, 2));
            } else if (run <= 2) {
                appendNumber(out, t.month, run);
            } else if (run == 3) {
                out += nameAt(locale.shortMonthNames, int64_t{t.month} - 1);
            } else {
                out += nameAt(locale.longMonthNames, int64_t{t.month} - 1);
            }
            break;
        case 'Y':
            if (run <= 2) {
                appendNumber(out, (t.year % 100 + 100) % 100, 2);
            } else {
                appendNumber(out, t.year, 4);
            }
            break;
        case 'H': {
            int64_t hour = t.hour;
            if (amPmFollows(pattern, pos + run)) {
                hour = (hour % 12 + 12) % 12;
                if (hour == 0) {
                    hour = 12;
                }
            }
            appendNumber(out, hour, std::min<size_t>(run, 2));
            break;
        }
        case 'N':
            appendNumber(out, t.minute, std::min<size_t>(run, 2));
            break;
        case 'S':
            appendNumber(out, t.second, std::min<size_t>(run, 2));
            break;
        case 'Z':
            appendNumber(out, t.millisecond, std::min<size_t>(run, 3));
            break;
        case 'T':
            appendFormatted(out, run == 1 ? locale.shortTimeFormat : locale.longTimeFormat, t, locale,
                            level + 1);
            break;
        case 'C':
            // At the deepest level the blank goes too: the whole token gives nothing.
            if (level >= kMaxPatternLevel) {
                break;
            }
            appendFormatted(out, locale.shortDateFormat, t, locale, level + 1);
            if (t.hour != 0 || t.minute != 0 || t.second != 0 || t.millisecond != 0) {
                out += ' ';
                appendFormatted(out, locale.longTimeFormat, t, locale, level + 1);
            }
            break;
        default:
            // Letters without a meaning (the era letters among them) stand for themselves.
            out += pattern.substr(pos, run);
            break;
        }
        pos += run;
    }
}

} // namespace

DateTimeParts DateTimeParts::fromLocalTime(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const std::time_t whole = system_clock::to_time_t(seconds);
    std::tm local{};
    if (localtime_r(&whole, &local) == nullptr) {
        return {};
    }
    DateTimeParts parts;
    parts.year = local.tm_year + 1900;
    parts.month = local.tm_mon + 1;
    parts.day = local.tm_mday;
    parts.hour = local.tm_hour;
    parts.minute = local.tm_min;
    parts.second = local.tm_sec;
    parts.millisecond = static_cast<int>(duration_cast<milliseconds>(time - seconds).count());
    parts.dayOfWeek = local.tm_wday;
    return parts;
}

DateTimeParts DateTimeParts::fromFields(int year, int month, int day, int hour, int minute, int second,
                                        int millisecond)
{
    DateTimeParts parts;
    parts.year = year;
    parts.month = month;
    parts.day = day;
    parts.hour = hour;
    parts.minute = minute;
    parts.second = second;
    parts.millisecond = millisecond;
    // Day 0 was a Thursday (weekday 4).
    const int64_t days = daysFromCivil(year, month, day);
    parts.dayOfWeek = static_cast<int>(((days + 4) % 7 + 7) % 7);
    return parts;
}

const DateTimeLocale& DateTimeLocale::english()
{
    static const DateTimeLocale locale;
    return locale;
}

std::string formatDateTime(std::string_view pattern, const DateTimeParts& time, const DateTimeLocale& locale)
{
    std::string out;
    appendFormatted(out, pattern, time, locale, 1);
    return out;
}

} // namespace kestrelon
