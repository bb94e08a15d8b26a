#include "base/TextConversion.h"

#include <array>

namespace quelvor::base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Code points of bytes 0x80..0x9F; the undefined ones keep their C1 value.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t codePointOf(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHigh[byte - 0x80];
    return byte;
}

// -1 when the code point has no Windows-1252 byte.
int byteOf(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp)
            return static_cast<int>(0x80 + i);
    return -1;
}

} // namespace

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool decodeUtf8(std::string_view s, size_t& pos, char32_t& cp, Utf8Form form)
{
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        cp = b0;
        ++pos;
        return true;
    }
    const bool generalised = form == Utf8Form::Generalised;
    if (generalised && b0 == 0xC0) {
        if (pos + 1 >= s.size())
            return false;
        const auto next = static_cast<unsigned char>(s[pos + 1]);
        if (next != 0x80 && next != 0x8A && next != 0x8D)
            return false;
        cp = next & 0x3F;
        pos += 2;
        return true;
    }
    int extra;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (pos + extra >= s.size())
        return false;
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + i]);
        if ((b & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (!generalised && cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    pos += extra + 1;
    return true;
}

bool isValidUtf8(std::string_view text)
{
    size_t pos = 0;
    char32_t cp;
    while (pos < text.size())
        if (!decodeUtf8(text, pos, cp))
            return false;
    return true;
}

std::string fromWin1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    appendFromWin1252(out, bytes);
    return out;
}

namespace {

// The end of the run of ASCII bytes that begins at `from`.
size_t asciiUpTo(std::string_view text, size_t from)
{
    while (from < text.size() && static_cast<unsigned char>(text[from]) < 0x80)
        ++from;
    return from;
}

} // namespace

void appendFromWin1252(std::string& out, std::string_view bytes)
{
    size_t pos = 0;
    while (pos < bytes.size()) {
        // ASCII is the same in both: whole runs at a time.
        const size_t end = asciiUpTo(bytes, pos);
        out.append(bytes, pos, end - pos);
        if (end == bytes.size())
            return;
        appendUtf8(out, codePointOf(static_cast<unsigned char>(bytes[end])));
        pos = end + 1;
    }
}

std::string toWin1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    appendWin1252(out, utf8);
    return out;
}

void appendWin1252(std::string& out, std::string_view utf8)
{
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t end = asciiUpTo(utf8, pos);
        out.append(utf8, pos, end - pos);
        pos = end;
        if (pos == utf8.size())
            return;
        char32_t cp;
        if (!decodeUtf8(utf8, pos, cp)) {
            out += utf8[pos++];
            continue;
        }
        const int byte = byteOf(cp);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
}

std::u16string toUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp;
        if (!decodeUtf8(utf8, pos, cp)) {
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
            appendUtf8(out, fromSurrogates(unit, text[i + 1]));
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
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

} // namespace quelvor::base
