#pragma once
// Text conversion at the borders of the program. Inside, every text is UTF-8.
// - Windows-1252 <-> UTF-8: the handhelds' wire and the database attachments
//   (lc_ctype WIN1252).
// - UTF-8 <-> UTF-16: the configuration file and the scrambling of the
//   credentials kept in it, which work on 16-bit code units.
// One UTF-8 decoder serves all of them; the configuration file reads it in a
// generalised form (see Utf8Form).
//
// The Windows-1252 mapping is a bijection on all 256 byte values: the five
// bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map
// to the C1 code points of the same number, so no byte from a handheld is lost
// or changed on its way to the database and back. Pure functions, callable
// from any thread.

#include <string>
#include <string_view>

namespace quelvor::base {

// Every byte becomes one code point, written as UTF-8.
std::string fromWin1252(std::string_view bytes);
// The same, appended to `out` (a buffer reused from row to row).
void appendFromWin1252(std::string& out, std::string_view bytes);

// Code points that Windows-1252 cannot hold become '?'; malformed UTF-8 bytes
// are taken as Windows-1252 bytes themselves, so that nothing is dropped.
std::string toWin1252(std::string_view utf8);
// The same, appended to `out` (a reply being gathered for one write).
void appendWin1252(std::string& out, std::string_view utf8);

enum class Utf8Form
{
    // Well-formed UTF-8 only.
    Strict,
    // Also surrogate code points in 3-byte form (half a surrogate pair stands
    // as its own sequence) and the 2-byte forms C0 80, C0 8A and C0 8D for
    // the code units 0, LF and CR, so that they never end a line.
    Generalised,
};

// Decodes one UTF-8 sequence at `pos`; returns false (and leaves pos) when the
// bytes there are not UTF-8 of the given form.
bool decodeUtf8(std::string_view text, size_t& pos, char32_t& codePoint, Utf8Form form = Utf8Form::Strict);
void appendUtf8(std::string& out, char32_t codePoint);

// True when the text is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text);

// UTF-8 to UTF-16. Every byte that does not belong to a well-formed UTF-8
// sequence becomes U+FFFD.
std::u16string toUtf16(std::string_view utf8);

// UTF-16 to UTF-8. A code unit that is half of a surrogate pair without its
// other half becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// Appends one code point as one code unit or a surrogate pair.
void appendUtf16(std::u16string& out, char32_t codePoint);

// True for the code units of the two halves of a surrogate pair.
inline bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}
// The code point of a surrogate pair.
inline char32_t fromSurrogates(char16_t high, char16_t low)
{
    return 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
}

} // namespace quelvor::base
