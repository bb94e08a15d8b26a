#include "app/IniFile.h"

#include "base/TextConversion.h"

namespace quelvor::app {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The code units that may not stand raw inside a line; they are written in the
// 2-byte forms C0 80, C0 8A, C0 8D instead.
bool isLineBreaking(char16_t unit)
{
    return unit == 0 || unit == u'\n' || unit == u'\r';
}

// What the reader drops around a value. The writer quotes a value that begins
// or ends with one of these, so that they read back.
bool isBlank(char16_t unit)
{
    return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\v' || unit == u'\f' || unit == u'\r';
}

bool isQuote(char16_t unit)
{
    return unit == u'"' || unit == u'\'';
}

std::u16string_view trim(std::u16string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// ASCII and Latin-1 letters; enough for the section and key names this file
// holds ("Inicialização" in any case).
char16_t foldCase(char16_t unit)
{
    if (unit >= u'A' && unit <= u'Z')
        return static_cast<char16_t>(unit + 0x20);
    if (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7)
        return static_cast<char16_t>(unit + 0x20);
    return unit;
}

bool sameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

// "[name]" with blanks allowed around the line and the name.
std::optional<std::u16string_view> sectionName(std::u16string_view line)
{
    line = trim(line);
    if (line.empty() || line.front() != u'[')
        return std::nullopt;
    const size_t close = line.rfind(u']');
    if (close == std::u16string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

bool isComment(std::u16string_view line)
{
    line = trim(line);
    return !line.empty() && line.front() == u';';
}

// The key of a "key=value" line; nothing for any other line.
std::optional<std::u16string_view> keyName(std::u16string_view line)
{
    if (isComment(line))
        return std::nullopt;
    const size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos)
        return std::nullopt;
    return trim(line.substr(0, equals));
}

// The lines of the file in the generalised UTF-8 of the header; false when a
// byte does not fit it.
bool decodeGeneralisedUtf8(std::string_view bytes, std::u16string& out)
{
    size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp;
        if (!base::decodeUtf8(bytes, pos, cp, base::Utf8Form::Generalised))
            return false;
        base::appendUtf16(out, cp);
    }
    return true;
}

void encodeGeneralisedUtf8(std::u16string_view line, std::string& out)
{
    for (size_t i = 0; i < line.size(); ++i) {
        const char16_t unit = line[i];
        if (isLineBreaking(unit)) {
            out += '\xC0';
            out += static_cast<char>(0x80 | unit);
        } else if (base::isHighSurrogate(unit) && i + 1 < line.size() && base::isLowSurrogate(line[i + 1])) {
            base::appendUtf8(out, base::fromSurrogates(unit, line[i + 1]));
            ++i;
        } else {
            // Half a surrogate pair on its own comes out as its 3-byte sequence.
            base::appendUtf8(out, unit);
        }
    }
}

} // namespace

IniFile IniFile::parse(std::string_view bytes)
{
    IniFile ini;
    if (bytes.starts_with(kByteOrderMark)) {
        ini.m_byteOrderMark = true;
        bytes.remove_prefix(kByteOrderMark.size());
    }

    std::vector<std::string_view> rawLines;
    bool sawLineEnd = false;
    while (!bytes.empty()) {
        const size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        const bool hasCr = line.ends_with('\r');
        if (hasCr)
            line.remove_suffix(1);
        if (lf != std::string_view::npos && !sawLineEnd) {
            ini.m_crlf = hasCr;
            sawLineEnd = true;
        }
        rawLines.push_back(line);
        bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    }

    ini.m_lines.reserve(rawLines.size());
    for (std::string_view raw : rawLines) {
        std::u16string line;
        if (!decodeGeneralisedUtf8(raw, line)) {
            ini.m_encoding = Encoding::Windows1252;
            break;
        }
        ini.m_lines.push_back(std::move(line));
    }
    if (ini.m_encoding == Encoding::Windows1252) {
        ini.m_lines.clear();
        for (std::string_view raw : rawLines)
            ini.m_lines.push_back(base::toUtf16(base::fromWin1252(raw)));
    }
    return ini;
}

IniFile::Position IniFile::find(std::u16string_view section, std::u16string_view key) const
{
    Position position;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::u16string_view line = m_lines[i];
        if (const auto name = sectionName(line)) {
            // Only the first section of that name counts, as for the platform.
            if (position.header)
                break;
            if (sameName(*name, section)) {
                position.header = i;
                position.insertAt = i + 1;
            }
            continue;
        }
        if (!position.header)
            continue;
        if (const auto name = keyName(line)) {
            position.insertAt = i + 1;
            if (sameName(*name, key)) {
                position.key = i;
                break;
            }
        }
    }
    return position;
}

std::optional<std::u16string> IniFile::readString(std::u16string_view section, std::u16string_view key) const
{
    const Position position = find(section, key);
    if (!position.key)
        return std::nullopt;
    const std::u16string_view line = m_lines[*position.key];
    std::u16string_view value = trim(line.substr(line.find(u'=') + 1));
    if (value.size() >= 2 && isQuote(value.front()) && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::u16string(value.substr(0, kMaxValueLength));
}

void IniFile::writeString(std::u16string_view section, std::u16string_view key, std::u16string_view value)
{
    std::u16string text;
    const bool quoted = !value.empty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                           isQuote(value.front()) || isQuote(value.back()));
    if (quoted)
        text = u"\"" + std::u16string(value) + u"\"";
    else
        text = value;

    const Position position = find(section, key);
    if (position.key) {
        std::u16string& line = m_lines[*position.key];
        line = std::u16string(*keyName(line)) + u"=" + text;
        return;
    }
    std::u16string line = std::u16string(key) + u"=" + text;
    if (position.header) {
        m_lines.insert(m_lines.begin() + position.insertAt, std::move(line));
        return;
    }
    if (!m_lines.empty() && !trim(m_lines.back()).empty())
        m_lines.emplace_back();
    m_lines.push_back(u"[" + std::u16string(section) + u"]");
    m_lines.push_back(std::move(line));
}

namespace {

// The line in Windows-1252, or nothing when a code unit has no byte there:
// a character outside the code page, half a surrogate pair, or a code unit
// that would end the line.
std::optional<std::string> encodeWindows1252(std::u16string_view line)
{
    for (const char16_t unit : line)
        if (isLineBreaking(unit))
            return std::nullopt;
    const std::string utf8 = base::toUtf8(line);
    std::string bytes = base::toWin1252(utf8);
    // toWin1252 stands '?' for what does not fit; only a round trip tells a
    // real question mark from one that stands in.
    if (base::fromWin1252(bytes) != utf8 || base::toUtf16(utf8) != line)
        return std::nullopt;
    return bytes;
}

} // namespace

std::string IniFile::serialize() const
{
    const std::string_view lineEnd = m_crlf ? "\r\n" : "\n";
    std::string out;
    if (m_encoding == Encoding::Windows1252) {
        // An older installation reads and writes its file through the ANSI
        // routines: it keeps getting its own bytes back, as long as they fit.
        bool fits = true;
        for (const std::u16string& line : m_lines) {
            const auto bytes = encodeWindows1252(line);
            if (!bytes) {
                fits = false;
                break;
            }
            out += *bytes;
            out += lineEnd;
        }
        if (fits)
            return out;
        // A character that the code page cannot hold: the whole file goes to
        // UTF-8, marked so that no reader takes it for Windows-1252 again.
        out.clear();
    }
    if (m_byteOrderMark || m_encoding == Encoding::Windows1252)
        out += kByteOrderMark;
    for (const std::u16string& line : m_lines) {
        encodeGeneralisedUtf8(line, out);
        out += lineEnd;
    }
    return out;
}

} // namespace quelvor::app
