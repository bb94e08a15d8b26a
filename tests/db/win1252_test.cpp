#include "db/Win1252.h"

#include <gtest/gtest.h>

using namespace quelvor::db;

TEST(Win1252, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = fromWin1252(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    EXPECT_EQ(toWin1252(utf8), all);
}

TEST(Win1252, KnownCharacters)
{
    struct Case
    {
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {"Inicializa\xE7\xE3o", "Inicialização"},
        {"\x80", "€"},
        {"\x8A\x9A", "Šš"},
        {"\x81", "\xC2\x81"}, // undefined byte keeps its C1 code point
        {"\x02", "\x02"},     // the field separator passes untouched
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fromWin1252(c.bytes), c.utf8);
        EXPECT_EQ(toWin1252(c.utf8), c.bytes);
    }
}

TEST(Win1252, UnrepresentableAndMalformedText)
{
    EXPECT_EQ(toWin1252("a\xE2\x82\xAC\xF0\x9F\x90\x84z"), "a\x80?z"); // a cow has no byte
    EXPECT_EQ(toWin1252("\xFF\xC3"), "\xFF\xC3");                      // stray bytes kept as they are
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));                         // lone surrogate
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));                             // overlong
}
