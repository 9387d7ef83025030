#pragma once

#include <array>
#include <chrono>
#include <string>
#include <string_view>

// The date/time pattern language of the user-typed overlay and time-check patterns and of the
// program's own fixed patterns. Everything here is pure and thread-safe: any thread may call it.

namespace kestrelon {

// A local date and time with millisecond resolution.
struct DateTimeParts {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;  // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int dayOfWeek = 4; // 0 = Sunday .. 6 = Saturday; 1 January 1970 was a Thursday

    // The local time of a clock reading (localtime_r, so the TZ setting applies). A reading that
    // cannot be converted gives the default-constructed parts.
    static DateTimeParts fromLocalTime(std::chrono::system_clock::time_point time);
    // Explicit fields; the day of week is computed from the date (proleptic Gregorian calendar).
    static DateTimeParts fromFields(int year, int month, int day, int hour = 0, int minute = 0,
                                    int second = 0, int millisecond = 0);

    bool operator==(const DateTimeParts&) const = default;
};

// Names, separators and formats the patterns refer to. The member initialisers are the English
// locale the program uses.
struct DateTimeLocale {
    std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::array<std::string, 7> longDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                            "Thursday", "Friday", "Saturday"};
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<std::string, 12> longMonthNames{"January",   "February", "March",    "April",
                                               "May",       "June",     "July",     "August",
                                               "September", "October",  "November", "December"};
    std::string dateSeparator = "/";
    std::string timeSeparator = ":";
    // These four are patterns themselves, formatted where "ddddd", "dddddd", "t", "tt" and "c"
    // insert them.
    std::string shortDateFormat = "dd/mm/yyyy";
    std::string longDateFormat = "dddd, d mmmm yyyy";
    std::string shortTimeFormat = "hh:nn";
    std::string longTimeFormat = "hh:nn:ss";
    std::string timeAMString = "AM";
    std::string timePMString = "PM";

    // One shared, never-changing English locale.
    static const DateTimeLocale& english();
};

// Formats a date and time by a pattern:
//   d dd            day of month, without / with leading zero
//   ddd dddd        short / long day name
//   ddddd           the locale's short date format; six or more d: its long date format
//   m mm            month number; minutes when the last letter token before was an hour token
//   mmm mmmm+       short / long month name (also minutes after an hour token)
//   y yy            two-digit year; three or more y: four digits
//   h hh            hour (longer runs count as two); 12-hour when "am/pm", "a/p" or "ampm" stands
//                   later in the pattern, outside quotes and before the next h
//   n nn, s ss      minutes, seconds (longer runs count as two)
//   z zz zzz        milliseconds with at least as many digits (longer runs count as three)
//   t, tt+          the locale's short / long time format
//   c               short date, then a blank and the long time unless the time is 00:00:00.000
//   am/pm a/p       the first or second half as written in the pattern (hour < 12: the first)
//   ampm            the locale's morning or afternoon string
//   / :             the locale's date / time separator
//   '...' "..."     copied without the quotes; an unterminated quote runs to the end
// Letters mean the same in either case, but a token is a run of one character in one case, so
// "Dd" is two one-letter tokens. Anything else is copied unchanged. Inserted locale formats are
// formatted in turn, one level deep: tokens inside them that would insert yet another format
// give nothing, so a format that refers to itself cannot loop.
std::string formatDateTime(std::string_view pattern, const DateTimeParts& time,
                           const DateTimeLocale& locale = DateTimeLocale::english());

} // namespace kestrelon
