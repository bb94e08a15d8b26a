#include "base/RegionalFormat.h"

#include <gtest/gtest.h>

using namespace quelvor::base;

TEST(RegionalFormat, GeneralFormatOfDoubles)
{
    struct Case
    {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {12.5, "12.5"},
        {1234.5, "1234.5"},
        {-1234.5, "-1234.5"},
        {100, "100"},
        {0, "0"},
        {1e20, "1E20"},
        {-1.5e20, "-1.5E20"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {0.000001, "1E-6"},
        {0.00001, "0.00001"},
        {0.1, "0.1"},
        {1.0 / 3, "0.333333333333333"},
        {-29.1234567, "-29.1234567"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(generalFloat(c.value, 15, '.'), c.text);
    }
    EXPECT_EQ(generalFloat(1234.5, 15, ','), "1234,5");
}

TEST(RegionalFormat, GeneralFormatOfScaledNumbersKeepsEveryDigit)
{
    struct Case
    {
        long long scaled;
        int scale;
        const char* text;
    };
    const Case cases[] = {
        {1250, -2, "12.5"},
        {123450, -2, "1234.5"},
        {-1250, -2, "-12.5"},
        {100, -2, "1"},
        {0, -2, "0"},
        {1, -6, "1E-6"},
        {1, -5, "0.00001"},
        {42, 0, "42"},
        {12345678901234567LL, -4, "1234567890123.4567"}, // exact, more than 15 digits
        {123456789012345678LL, -2, "1.23456789012345678E15"},
        {-9223372036854775807LL - 1, 0, "-9.223372036854775808E18"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(generalScaled(c.scaled, c.scale, '.'), c.text);
    }
}

TEST(RegionalFormat, DatesAndTimes)
{
    const Timestamp ts{{2026, 12, 9}, {14, 5, 3, 0}};
    EXPECT_EQ(shortDate(ts.date), "09/12/2026");
    EXPECT_EQ(longTime(ts.time), "14:05:03");
    EXPECT_EQ(dateTimeText(ts), "09/12/2026 14:05:03");
    EXPECT_EQ(dateTimeText({{2026, 12, 9}, {0, 0, 0, 0}}), "09/12/2026");
    EXPECT_EQ(dateTimeText({{2026, 12, 9}, {0, 0, 0, 10}}), "09/12/2026 00:00:00");
    EXPECT_EQ(fullDateTime({{2026, 1, 2}, {0, 0, 0, 0}}), "02/01/2026 00:00:00");
}
