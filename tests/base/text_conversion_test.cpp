#include "base/TextConversion.h"

#include <gtest/gtest.h>

using namespace quelvor::base;

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

TEST(Utf16, ConversionsBothWays)
{
    EXPECT_EQ(toUtf16("ção 🐄"), u"ção \U0001F404");
    EXPECT_EQ(toUtf8(u"ção \U0001F404"), "ção 🐄");
    // Lone halves of a pair and ill-formed bytes become U+FFFD, one each.
    EXPECT_EQ(toUtf8(u"\xDC00x\xD800"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(u"\xDC04\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(toUtf16("a\xE7-\xED\xA0\x80"), u"a\xFFFD-\xFFFD\xFFFD\xFFFD");
}

TEST(Utf8, GeneralisedFormTakesWhatTheConfigurationFileWrites)
{
    struct Case
    {
        const char* bytes;
        bool strict;      // decodes in the strict form
        bool generalised; // decodes in the generalised form
        char32_t codePoint;
    };
    const Case cases[] = {
        {"\xC3\xA7", true, true, 0xE7},   {"\xED\xA0\x80", false, true, 0xD800}, // half a surrogate pair
        {"\xC0\x80", false, true, 0},     {"\xC0\x8A", false, true, u'\n'},
        {"\xC0\x8D", false, true, u'\r'}, {"\xC0\x81", false, false, 0}, // any other overlong form
        {"\xC0", false, false, 0},        {"\xE7", false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
        for (Utf8Form form : {Utf8Form::Strict, Utf8Form::Generalised}) {
            const std::string_view text = c.bytes;
            size_t pos = 0;
            char32_t cp = 0;
            const bool ok = decodeUtf8(text, pos, cp, form);
            EXPECT_EQ(ok, form == Utf8Form::Strict ? c.strict : c.generalised);
            EXPECT_EQ(pos, ok ? text.size() : 0);
            if (ok) {
                EXPECT_EQ(cp, c.codePoint);
            }
        }
    }
}
