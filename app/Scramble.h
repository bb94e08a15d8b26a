#pragma once
// Scrambling of the user names and passwords kept in the configuration file,
// so that they do not stand there in plain text. It is no cipher: anyone who
// knows the rule reads them back. Pure functions, callable from any thread.
//
// The rule works on 16-bit character codes (UTF-16 code units), so a scrambled
// text has exactly as many code units as the plain one. It reverses the text,
// which turns a surrogate pair around, and moves every code unit up or down by
// one, which can step across the surrogate range: a scrambled text is not
// always well-formed UTF-16 and cannot always be held as UTF-8. Scrambled
// texts are therefore kept as std::u16string; plain texts are UTF-8, as every
// other text inside the program.

#include <string>
#include <string_view>

namespace quelvor::app {

// Reverses the text, then subtracts 1 from the code unit at every odd position
// and adds 1 at every even one (positions counted from 1), wrapping at 16 bits.
// "abc" becomes "bc`", "abcd" becomes "cdab".
std::u16string Encript(std::u16string_view text);

// The inverse of Encript: Decript(Encript(t)) == t and Encript(Decript(t)) == t
// for every sequence of code units t.
std::u16string Decript(std::u16string_view text);

// Scrambles a plain UTF-8 text.
std::u16string EncriptUtf8(std::string_view plainUtf8);

// Unscrambles into a plain UTF-8 text. A scrambled value edited by hand may
// unscramble into half a surrogate pair; that becomes U+FFFD.
std::string DecriptUtf8(std::u16string_view scrambled);

} // namespace quelvor::app
