#pragma once
// Windows-1252 <-> UTF-8 at the two borders of the program: the handhelds' wire
// and the database attachments (lc_ctype WIN1252). Inside, every text is UTF-8.
//
// The mapping is a bijection on all 256 byte values: the five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
// code points of the same number, so no byte from a handheld is lost or changed
// on its way to the database and back. Pure functions, callable from any thread.

#include <string>
#include <string_view>

namespace quelvor::db {

// Every byte becomes one code point, written as UTF-8.
std::string fromWin1252(std::string_view bytes);

// Code points that Windows-1252 cannot hold become '?'; malformed UTF-8 bytes
// are taken as Windows-1252 bytes themselves, so that nothing is dropped.
std::string toWin1252(std::string_view utf8);

// Decodes one UTF-8 sequence at `pos`; returns false (and leaves pos) when the
// bytes there are not well-formed UTF-8.
bool decodeUtf8(std::string_view text, size_t& pos, char32_t& codePoint);
void appendUtf8(std::string& out, char32_t codePoint);

// True when the text is well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view text);

} // namespace quelvor::db
