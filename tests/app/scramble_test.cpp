#include "app/Scramble.h"

#include "base/TextConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quelvor::app {
namespace {

using base::toUtf16;
using base::toUtf8;

struct Example
{
    std::u16string plain;
    std::u16string scrambled;
};

// Known pairs: the rule's own examples, the 16-bit wrap at both ends, and a
// surrogate pair, which comes out turned around and shifted (no longer a pair).
TEST(Scramble, KnownPairsBothWays)
{
    const std::vector<Example> examples = {
        {u"", u""},
        {u"x", u"w"},
        {u"abc", u"bc`"},
        {u"abcd", u"cdab"},
        {u"ab", u"ab"}, // b - 1, a + 1
        {std::u16string(1, u'\0'), u"\xFFFF"},
        {u"\xFFFF\xFFFF", std::u16string{u'\xFFFE', u'\0'}},
        {u"\U0001F404", u"\xDC03\xD83E"},
        {u"ção", u"näæ"}, // o - 1, ã + 1, ç - 1
    };
    for (const Example& e : examples) {
        SCOPED_TRACE(toUtf8(e.plain));
        EXPECT_EQ(Encript(e.plain), e.scrambled);
        EXPECT_EQ(Decript(e.scrambled), e.plain);
    }
}

// Every text of length 0 to 4 drawn from an alphabet with ASCII, Latin-1, the
// edges of the surrogate range and of the 16-bit range comes back unchanged,
// keeps its length, and its scrambled form unscrambles back as well.
TEST(Scramble, RoundTripsEveryShortText)
{
    const std::u16string alphabet = {u'a',      u'Z',      u' ',      u'\0',     u'ç',
                                     u'Ã',      u'\x20AC', u'\xD7FF', u'\xD800', u'\xDBFF',
                                     u'\xDC00', u'\xDFFF', u'\xE000', u'\xFFFF'};
    std::vector<std::u16string> texts = {u""};
    for (size_t length = 1; length <= 4; ++length) {
        std::vector<std::u16string> longer;
        for (const std::u16string& text : texts)
            if (text.size() == length - 1)
                for (char16_t unit : alphabet)
                    longer.push_back(text + unit);
        texts.insert(texts.end(), longer.begin(), longer.end());
    }
    for (const std::u16string& text : texts) {
        const std::u16string scrambled = Encript(text);
        ASSERT_EQ(scrambled.size(), text.size());
        ASSERT_EQ(Decript(scrambled), text) << toUtf8(text);
        ASSERT_EQ(Encript(Decript(text)), text) << toUtf8(text);
    }
}

TEST(Scramble, SingleUnitMovesDownByOne)
{
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const std::u16string text(1, static_cast<char16_t>(unit));
        const std::u16string before(1, static_cast<char16_t>(unit - 1));
        ASSERT_EQ(Encript(text), before);
        ASSERT_EQ(Decript(before), text);
    }
}

TEST(Scramble, Utf8Conveniences)
{
    EXPECT_EQ(EncriptUtf8("abc"), u"bc`");
    EXPECT_EQ(DecriptUtf8(u"bc`"), "abc");
    for (const std::string plain :
         {"", "KORVA", "##738460", "Senha com espaço e ção", "vaca 🐄 leite 🐄", " \"aspas\" ", "'"}) {
        EXPECT_EQ(DecriptUtf8(EncriptUtf8(plain)), plain);
        EXPECT_EQ(EncriptUtf8(plain).size(), toUtf16(plain).size());
    }
    // A hand-edited value may unscramble into half a surrogate pair.
    EXPECT_EQ(DecriptUtf8(Encript(u"a\xD800")), "a\xEF\xBF\xBD");
}

} // namespace
} // namespace quelvor::app
