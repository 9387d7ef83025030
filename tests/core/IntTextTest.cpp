#include "core/IntText.h"

#include <gtest/gtest.h>

using kestrelon::parseInt32;

TEST(IntText, ReadsDecimalHexAndNegatives)
{
    EXPECT_EQ(parseInt32("0"), 0);
    EXPECT_EQ(parseInt32("255"), 255);
    EXPECT_EQ(parseInt32("-1"), -1);
    EXPECT_EQ(parseInt32("$55"), 0x55);
    EXPECT_EQ(parseInt32("$ff"), 255);
    EXPECT_EQ(parseInt32("-$3B"), -0x3B);
    EXPECT_EQ(parseInt32("0x10"), 16);
    EXPECT_EQ(parseInt32("2147483647"), 2147483647);
    EXPECT_EQ(parseInt32("-2147483648"), INT32_MIN);
    // A 32-bit hexadecimal value wraps into the negative range, as a 32-bit reading does.
    EXPECT_EQ(parseInt32("$FFFFFFFF"), -1);
}

TEST(IntText, RefusesWhatIsNotAWholeNumber)
{
    for (const char* bad : {"", "-", "$", "-$", "12abc", "abc", " 1", "1 ", "2147483648", "-2147483649",
                            "$100000000", "1.5", "+1", "--1"}) {
        EXPECT_FALSE(parseInt32(bad).has_value()) << bad;
    }
    EXPECT_FALSE(parseInt32("0x10", /*allowZeroX=*/false).has_value());
}
