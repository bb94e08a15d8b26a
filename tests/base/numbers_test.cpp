#include "base/Numbers.h"

#include "base/RegionalFormat.h"
#include "tests/support/ScopedLocale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

using namespace quelvor::base;

TEST(Numbers, WholeNumbers)
{
    struct Case
    {
        const char* text;
        std::optional<long long> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"-7", -7},
        {"+3", 3},
        {"007", 7},
        {"9223372036854775807", 9223372036854775807LL},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"+-1", std::nullopt},
        {"++1", std::nullopt},
        {" 1", std::nullopt},
        {"1 ", std::nullopt},
        {"1.0", std::nullopt},
        {"1e3", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseWhole(c.text), c.value) << '"' << c.text << '"';
}

TEST(Numbers, RealNumbersInTheCFormOnly)
{
    struct Case
    {
        const char* text;
        double value;
        bool outOfRange;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case good[] = {
        {"1.5e3", 1500, false},    {"-2.25", -2.25, false},  {"+.5", 0.5, false},
        {"5.", 5, false},          {"1E-3", 0.001, false},   {"0", 0, false},
        {"1e400", inf, true},      {"-1e400", -inf, true},   {"1e-400", 0, true},
        {"-1e-400", -0.0, true},   {"0.0001e-320", 0, true}, {"123456789e301", inf, true},
        {"1e-310", 1e-310, false}, // subnormal, still a double
    };
    for (const Case& c : good) {
        SCOPED_TRACE(c.text);
        const auto real = parseReal(c.text);
        ASSERT_TRUE(real);
        EXPECT_EQ(real->value, c.value);
        EXPECT_EQ(std::signbit(real->value), std::signbit(c.value));
        EXPECT_EQ(real->outOfRange, c.outOfRange);
    }
    for (const char* bad :
         {"", ".", "-", "1e", "1e+", "1,5", "inf", "nan", "0x10", " 1", "1 ", "1.2.3", "++1"})
        EXPECT_FALSE(parseReal(bad)) << '"' << bad << '"';
}

TEST(Numbers, Formatting)
{
    EXPECT_EQ(zeroPadded(7, 2), "07");
    EXPECT_EQ(zeroPadded(2026, 2), "2026");
    EXPECT_EQ(zeroPadded(-5, 3), "-05");
    EXPECT_EQ(zeroPadded(0, 4), "0000");
    EXPECT_EQ(fixedPoint(-29.123456, 4), "-29.1235");
    EXPECT_EQ(fixedPoint(3, 2), "3.00");
    EXPECT_EQ(shortestReal(1.5), "1.5");
    EXPECT_EQ(shortestReal(10), "10");
}

// Everything the server writes or reads of a number comes out the same under
// the operators' locale as under C: the window toolkit switches the process
// to the environment's locale, and the headless server does not.
TEST(Numbers, TheSameBytesUnderPtBrAsUnderC)
{
    auto everything = [] {
        std::vector<std::string> out;
        for (double v : {1.25, -1234.5, 1e20, 0.000001, 1.0 / 3, -29.1234567, 1234567890123456.0}) {
            out.push_back(generalFloat(v, 15, '.'));
            out.push_back(generalFloat(v, 15, ','));
            out.push_back(fixedPoint(v, 6));
            out.push_back(shortestReal(v));
        }
        out.push_back(generalScaled(123450, -2, '.'));
        out.push_back(generalScaled(1, -6, ','));
        out.push_back(zeroPadded(5, 2));
        for (const char* text : {"1.5e3", "-0.25", "12.5", "1e-7"})
            out.push_back(shortestReal(parseReal(text).value_or(Real{}).value));
        out.push_back(std::to_string(parseWhole("+12").value_or(0)));
        return out;
    };
    const std::vector<std::string> underC = everything();
    EXPECT_EQ(underC[0], "1.25");

    quelvor::test::ScopedLocale ptBr(quelvor::test::kPtBr);
    ASSERT_TRUE(ptBr.writesDecimalComma());
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.2f", 1.5);
    ASSERT_STREQ(printed, "1,50") << "the C library follows the locale, so the test means something";
    EXPECT_EQ(everything(), underC);
}
