#pragma once
// An INI text held in memory, read and written the way the Windows profile
// routines do it, so that a file written by an older Windows installation
// reads the same here, and a file written here reads the same there (as far as
// its encoding allows). Plain value object: no locking, one thread at a time.
//
// Reading a value: the first section whose name matches, then the first key in
// it whose name matches; names compare without regard to case (ASCII and the
// Latin-1 letters, so "INICIALIZAÇÃO" is "Inicialização"). Blanks around the
// value are dropped, then one pair of enclosing quotes (both ' or both "), and
// the value is cut to 2047 code units, as the platform does with its buffer.
// Lines that start with ';' are comments. Lines end with LF or CR LF.
//
// Writing a value: the line of a key that exists is replaced in place by
// "key=value", keeping the spelling of its section and key names; a missing key
// goes after the last key of its section, a missing section at the end. A value that begins or ends with a
// blank or a quote is written inside one more pair of double quotes, which the
// reader (ours and the platform's) drops again, so it reads back unchanged.
// Every other line of the file stays as it was.
//
// Encoding: a file is read as UTF-8 when all of it decodes as such, else as
// Windows-1252 (what the ANSI profile routines wrote). UTF-8 here is taken in
// a generalised sense, because scrambled values are UTF-16 that need not be
// well-formed: half a surrogate pair stands as its own 3-byte sequence, and
// the code units 0, LF and CR inside a value stand as the 2-byte forms
// C0 80, C0 8A and C0 8D, so that they never end a line. A file read as
// Windows-1252 is written back in Windows-1252 when every character fits it;
// otherwise, and for every other file, it is written in that UTF-8, with a
// byte order mark when it had one or when it was Windows-1252 before. The line
// ends stay as they were (LF for a new file).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quelvor::app {

class IniFile
{
public:
    enum class Encoding
    {
        Utf8,
        Windows1252,
    };

    // The longest value that a read returns, in UTF-16 code units.
    static constexpr size_t kMaxValueLength = 2047;

    IniFile() = default;

    static IniFile parse(std::string_view bytes);

    // The value, or nothing when the section or the key is missing.
    std::optional<std::u16string> readString(std::u16string_view section, std::u16string_view key) const;

    void writeString(std::u16string_view section, std::u16string_view key, std::u16string_view value);

    std::string serialize() const;

    Encoding encoding() const { return m_encoding; }

private:
    struct Position
    {
        std::optional<size_t> header; // line of the section's header
        std::optional<size_t> key;    // line of the key within that section
        size_t insertAt = 0;          // where a missing key of that section goes
    };
    Position find(std::u16string_view section, std::u16string_view key) const;

    std::vector<std::u16string> m_lines;
    Encoding m_encoding = Encoding::Utf8;
    bool m_byteOrderMark = false;
    bool m_crlf = false;
};

} // namespace quelvor::app
