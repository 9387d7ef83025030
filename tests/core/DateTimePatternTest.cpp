#include "core/DateTimePattern.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using kestrelon::DateTimeLocale;
using kestrelon::DateTimeParts;
using kestrelon::formatDateTime;

namespace {

// Saturday 12 February 2005, 16:45:23.078
const DateTimeParts kAfternoon = DateTimeParts::fromFields(2005, 2, 12, 16, 45, 23, 78);

std::string at(int hour, int minute, std::string_view pattern)
{
    return formatDateTime(pattern, DateTimeParts::fromFields(2005, 2, 12, hour, minute, 0));
}

} // namespace

TEST(DateTimePattern, ProgramDefaultPatterns)
{
    EXPECT_EQ(formatDateTime("ddd dd mmm yyyy  hh:mm:ss", kAfternoon), "Sat 12 Feb 2005  16:45:23");
    EXPECT_EQ(formatDateTime("dd mmm yyyy  hh:mm", kAfternoon), "12 Feb 2005  16:45");
    EXPECT_EQ(formatDateTime("dd mmm yyyy hh:nn", kAfternoon), "12 Feb 2005 16:45");
    EXPECT_EQ(formatDateTime("  hh:nn:ss   dd mmm yyyy", kAfternoon), "  16:45:23   12 Feb 2005");
    EXPECT_EQ(formatDateTime("ddd dd mmm yyyy hh:nn:ss", kAfternoon), "Sat 12 Feb 2005 16:45:23");
    EXPECT_EQ(formatDateTime("HH:mm", kAfternoon), "16:45");
    EXPECT_EQ(formatDateTime("HH:mm:ss", kAfternoon), "16:45:23");
    EXPECT_EQ(formatDateTime("dd/MM/yyyy HH:mm:ss", kAfternoon), "12/02/2005 16:45:23");
    EXPECT_EQ(formatDateTime("", kAfternoon), "");
}

TEST(DateTimePattern, NumbersNamesAndRunLengths)
{
    const DateTimeParts early = DateTimeParts::fromFields(2009, 3, 5, 7, 8, 9, 4);
    EXPECT_EQ(formatDateTime("d dd m mm", early), "5 05 3 03");
    EXPECT_EQ(formatDateTime("y yy yyy yyyy yyyyy", early), "09 09 2009 2009 2009");
    EXPECT_EQ(formatDateTime("yyy", DateTimeParts::fromFields(987, 1, 1)), "0987");
    EXPECT_EQ(formatDateTime("ddd dddd mmm mmmm mmmmmmm", early), "Thu Thursday Mar March March");
    EXPECT_EQ(formatDateTime("h hh hhhh n nn nnn s ss sss", early), "7 07 07 8 08 08 9 09 09");
    EXPECT_EQ(formatDateTime("z zz zzz zzzzz", early), "4 04 004 004");
    EXPECT_EQ(formatDateTime("zzz", kAfternoon), "078");
    EXPECT_EQ(formatDateTime("z", DateTimeParts::fromFields(2009, 3, 5, 0, 0, 0, 999)), "999");
    // Case does not change the meaning, but a change of case starts a new token.
    EXPECT_EQ(formatDateTime("DDD Dd YYYY", early), "Thu 55 2009");
    EXPECT_EQ(formatDateTime("ddddd", early), "05/03/2009");
    EXPECT_EQ(formatDateTime("dddddd", early), "Thursday, 5 March 2009");
    EXPECT_EQ(formatDateTime("t|tt|ttt", early), "07:08|07:08:09|07:08:09");
}

TEST(DateTimePattern, MinuteRuleFollowsTheLastLetterToken)
{
    EXPECT_EQ(formatDateTime("hh dd mm", kAfternoon), "16 12 02"); // the day token ends the state
    EXPECT_EQ(formatDateTime("hh:mm", kAfternoon), "16:45");
    EXPECT_EQ(formatDateTime("hh--  ..mm", kAfternoon), "16--  ..45"); // non-letters do not count
    EXPECT_EQ(formatDateTime("hh'x'mm", kAfternoon), "16x45");         // nor does quoted text
    EXPECT_EQ(formatDateTime("hhxmm", kAfternoon), "16x02");           // a letter without meaning does
    EXPECT_EQ(formatDateTime("hh:mm:mm", kAfternoon), "16:45:02");     // minutes are not an hour token
    EXPECT_EQ(formatDateTime("hh:mmm", kAfternoon), "16:45");          // any run of m after an hour
    EXPECT_EQ(formatDateTime("hh ampm mm", kAfternoon), "04 PM 02");
    EXPECT_EQ(formatDateTime("hMm", kAfternoon), "16452");
}

TEST(DateTimePattern, AmPmFormsAroundTheDay)
{
    EXPECT_EQ(at(0, 5, "h:nn am/pm"), "12:05 am");
    EXPECT_EQ(at(11, 59, "h:nn AM/PM"), "11:59 AM");
    EXPECT_EQ(at(12, 0, "h:nn am/pm"), "12:00 pm");
    EXPECT_EQ(at(23, 1, "hh:nn Am/pM"), "11:01 pM");
    EXPECT_EQ(at(0, 5, "h a/p"), "12 a");
    EXPECT_EQ(at(11, 5, "h A/P"), "11 A");
    EXPECT_EQ(at(12, 5, "h a/P"), "12 P");
    EXPECT_EQ(at(23, 5, "h A/p"), "11 p");
    EXPECT_EQ(at(0, 5, "h ampm"), "12 AM");
    EXPECT_EQ(at(11, 5, "h AMPM"), "11 AM");
    EXPECT_EQ(at(12, 5, "h ampm"), "12 PM");
    EXPECT_EQ(at(23, 5, "hh AmPm"), "11 PM");
    // Without an hour token the forms still print.
    EXPECT_EQ(at(23, 5, "am/pm"), "pm");
    // A lone "a" is text; one letter further on the form is found.
    EXPECT_EQ(at(23, 5, "h aam/pm ax"), "11 apm ax");
}

TEST(DateTimePattern, TwelveHourClockOnlyUpToTheNextHourToken)
{
    EXPECT_EQ(at(15, 7, "hh hh am/pm"), "15 03 pm"); // the first hour sees another hour first
    EXPECT_EQ(at(15, 7, "h:nn am/pm h"), "3:07 pm 15");
    EXPECT_EQ(at(15, 7, "H h a/p"), "15 3 p");
    EXPECT_EQ(at(15, 7, "h 'am/pm'"), "15 am/pm"); // quoted forms do not count
    EXPECT_EQ(at(15, 7, "h 'h' am/pm"), "3 h pm"); // nor does a quoted h
    EXPECT_EQ(at(15, 7, "h \"x am/pm"), "15 x am/pm");
}

TEST(DateTimePattern, QuotesSeparatorsAndOtherText)
{
    EXPECT_EQ(formatDateTime("'dd' \"mm\" dd", kAfternoon), "dd mm 12");
    EXPECT_EQ(formatDateTime("'it\"s' \"it's\"", kAfternoon), "it\"s it's");
    EXPECT_EQ(formatDateTime("''\"\"", kAfternoon), "");
    EXPECT_EQ(formatDateTime("dd 'open", kAfternoon), "12 open");
    EXPECT_EQ(formatDateTime("Time: xq#! e g", kAfternoon), "16:45i2e: xq#! e g");
    EXPECT_EQ(formatDateTime(std::string_view("d\0\xff\x80", 4), kAfternoon), std::string("12\0\xff\x80", 5));

    DateTimeLocale dots;
    dots.dateSeparator = "-";
    dots.timeSeparator = ".";
    EXPECT_EQ(formatDateTime("dd/mm/yy hh:nn", kAfternoon, dots), "12-02-05 16.45");
    EXPECT_EQ(formatDateTime("c", kAfternoon, dots), "12-02-2005 16.45.23");
    EXPECT_EQ(formatDateTime("'/:'", kAfternoon, dots), "/:");
}

TEST(DateTimePattern, DateAndTimeOfTheLocale)
{
    EXPECT_EQ(formatDateTime("c", DateTimeParts::fromFields(2005, 2, 12)), "12/02/2005");
    EXPECT_EQ(formatDateTime("c", DateTimeParts::fromFields(2005, 2, 12, 0, 0, 1)), "12/02/2005 00:00:01");
    EXPECT_EQ(formatDateTime("c", DateTimeParts::fromFields(2005, 2, 12, 0, 0, 0, 1)), "12/02/2005 00:00:00");
    EXPECT_EQ(formatDateTime("[c]", kAfternoon), "[12/02/2005 16:45:23]");

    // A locale format's own tokens mean what they mean in a pattern, am/pm included.
    DateTimeLocale twelve;
    twelve.longTimeFormat = "h:nn:ss ampm";
    twelve.timePMString = "p.m.";
    EXPECT_EQ(formatDateTime("dd tt", kAfternoon, twelve), "12 4:45:23 p.m.");
}

TEST(DateTimePattern, InsertedFormatsNestOneLevel)
{
    DateTimeLocale looping;
    looping.shortDateFormat = "[d ddddd c t]";
    looping.longDateFormat = "dddddd";
    looping.shortTimeFormat = "<tt>";
    looping.longTimeFormat = "hh";
    EXPECT_EQ(formatDateTime("ddddd", kAfternoon, looping), "[12   ]");
    EXPECT_EQ(formatDateTime("dddddd|t|tt", kAfternoon, looping), "|<>|16");
    // c inserts both formats; the level-2 inserts inside them give nothing.
    EXPECT_EQ(formatDateTime("c", kAfternoon, looping), "[12   ] 16");
}

TEST(DateTimePattern, WeekdaysFromFieldsAndFromTheClock)
{
    EXPECT_EQ(kAfternoon.dayOfWeek, 6);
    EXPECT_EQ(DateTimeParts::fromFields(1970, 1, 1).dayOfWeek, 4);
    EXPECT_EQ(DateTimeParts::fromFields(2000, 2, 29).dayOfWeek, 2);
    EXPECT_EQ(DateTimeParts::fromFields(1900, 3, 1).dayOfWeek, 4);
    EXPECT_EQ(DateTimeParts::fromFields(1, 1, 1).dayOfWeek, 1);
    EXPECT_EQ(DateTimeParts::fromFields(2025, 1, 1).dayOfWeek, 3);

    // The clock reading is turned into local time with the process's time zone.
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    // 2005-02-12 16:45:23.078 UTC
    const auto reading = std::chrono::system_clock::time_point{std::chrono::seconds{1108226723}} +
                         std::chrono::milliseconds{78};
    EXPECT_EQ(DateTimeParts::fromLocalTime(reading), kAfternoon);
    // Before 1970 the milliseconds still count forward within the second.
    const auto beforeEpoch = std::chrono::system_clock::time_point{std::chrono::milliseconds{-1}};
    EXPECT_EQ(DateTimeParts::fromLocalTime(beforeEpoch),
              DateTimeParts::fromFields(1969, 12, 31, 23, 59, 59, 999));
    if (oldTz) {
        setenv("TZ", savedTz.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(DateTimePattern, OutOfRangeFieldsStayInBounds)
{
    DateTimeParts odd = kAfternoon;
    odd.month = 13;
    odd.dayOfWeek = -1;
    odd.year = -45;
    EXPECT_EQ(formatDateTime("mmm|mmmm|ddd|dddd|mm|yy|yyyy", odd), "||||13|55|-0045");
    odd.hour = -1;
    EXPECT_EQ(formatDateTime("h am/pm", odd), "11 am");
}
