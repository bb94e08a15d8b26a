#include "app/Scramble.h"

#include "db/Win1252.h"

namespace quelvor::app {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The conversion back to 16 bits wraps: 0 - 1 gives 0xFFFF, 0xFFFF + 1 gives 0.
char16_t step(char16_t unit, int delta)
{
    return static_cast<char16_t>(unit + delta);
}

} // namespace

std::u16string Encript(std::u16string_view text)
{
    std::u16string out(text.rbegin(), text.rend());
    for (size_t i = 0; i < out.size(); ++i) {
        const bool evenPosition = (i + 1) % 2 == 0;
        out[i] = step(out[i], evenPosition ? +1 : -1);
    }
    return out;
}

std::u16string Decript(std::u16string_view text)
{
    // Position i of the result came from position n + 1 - i of the scrambled
    // text, which is even exactly when i has the parity opposite to n + 1:
    // undo there the step that Encript applied.
    const bool oddLength = text.size() % 2 == 1;
    std::u16string out(text.rbegin(), text.rend());
    for (size_t i = 0; i < out.size(); ++i) {
        const bool oddPosition = (i + 1) % 2 == 1;
        const bool add = oddLength == oddPosition;
        out[i] = step(out[i], add ? +1 : -1);
    }
    return out;
}

std::u16string EncriptUtf8(std::string_view plainUtf8)
{
    return Encript(toUtf16(plainUtf8));
}

std::string DecriptUtf8(std::u16string_view scrambled)
{
    return toUtf8(Decript(scrambled));
}

std::u16string toUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp;
        if (!db::decodeUtf8(utf8, pos, cp)) {
            cp = kReplacement;
            ++pos;
        }
        appendUtf16(out, cp);
    }
    return out;
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            db::appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            db::appendUtf8(out, kReplacement);
        } else {
            db::appendUtf8(out, unit);
        }
    }
    return out;
}

void appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

} // namespace quelvor::app
