#include "db/Sql.h"

#include "base/Numbers.h"
#include "db/DbError.h"

#include <charconv>

namespace quelvor::db {
namespace {

// ASCII digits only, whatever the locale.
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::vector<size_t> placeholderPositions(const std::string& s)
{
    std::vector<size_t> out;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\'' || c == '"') {
            const size_t end = s.find(c, i + 1);
            if (end == std::string::npos)
                break;
            i = end;
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            const size_t end = s.find('\n', i);
            if (end == std::string::npos)
                break;
            i = end;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const size_t end = s.find("*/", i + 2);
            if (end == std::string::npos)
                break;
            i = end + 1;
        } else if (c == '?') {
            out.push_back(i);
        }
    }
    return out;
}

std::string Sql::display() const
{
    const std::string& text = m_displayText ? *m_displayText : m_text;
    const auto positions = placeholderPositions(text);
    std::string out;
    size_t from = 0;
    for (size_t i = 0; i < positions.size(); ++i) {
        out.append(text, from, positions[i] - from);
        from = positions[i] + 1;
        if (i >= m_params.size()) {
            out += '?';
            continue;
        }
        const SqlParam& p = m_params[i];
        switch (p.kind) {
        case SqlParam::Kind::Text:
            out += '\'';
            out += p.value;
            out += '\'';
            break;
        case SqlParam::Kind::Bare:
            out += p.value;
            break;
        case SqlParam::Kind::Null:
            out += "null";
            break;
        }
    }
    out.append(text, from, std::string::npos);
    return out;
}

Sql Sql::trimmed() const
{
    Sql out(trimSql(m_text), m_params);
    if (m_displayText)
        out.m_displayText = trimSql(*m_displayText);
    return out;
}

std::string trimSql(const std::string& text)
{
    size_t b = 0;
    size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

BareNumber parseBare(const std::string& value)
{
    const std::string v = trimSql(value);
    auto fail = [&]() -> BareNumber { throw DbError("valor numérico inválido: '" + value + "'"); };
    if (v.size() == 4) {
        std::string lower;
        for (char c : v)
            lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower == "null")
            return {};
    }
    // sign? digits [. digits] [(e|E) sign? digits]; at least one digit in the mantissa
    size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-'))
        negative = v[i++] == '-';
    std::string digits;
    int scale = 0;
    size_t intDigits = 0;
    while (i < v.size() && isDigit(v[i])) {
        digits += v[i++];
        ++intDigits;
    }
    size_t fracDigits = 0;
    if (i < v.size() && v[i] == '.') {
        ++i;
        while (i < v.size() && isDigit(v[i])) {
            digits += v[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return fail();
    bool hasExponent = false;
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        hasExponent = true;
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-'))
            ++i;
        const size_t expStart = i;
        while (i < v.size() && isDigit(v[i]))
            ++i;
        if (i == expStart)
            return fail();
    }
    if (i != v.size())
        return fail();

    // A value the database would refuse as a literal is refused here too,
    // rather than reaching it as infinity, as zero or rounded: the statement
    // then fails and the upload is not acknowledged.
    auto outOfRange = [&]() -> BareNumber {
        throw DbError("valor numérico fora do intervalo: '" + value + "'");
    };
    BareNumber n;
    if (!hasExponent) {
        scale = -static_cast<int>(fracDigits);
        // Strip leading zeros so that the digit count reflects the value.
        size_t first = digits.find_first_not_of('0');
        const std::string significant = first == std::string::npos ? "0" : digits.substr(first);
        std::uint64_t magnitude = 0;
        const auto res =
            std::from_chars(significant.data(), significant.data() + significant.size(), magnitude);
        // An exact literal holds 64 bits of digits, -2^63 included.
        const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
        if (res.ec != std::errc() || res.ptr != significant.data() + significant.size() || magnitude > limit)
            return outOfRange();
        if (scale >= -18) {
            n.kind = BareNumber::Kind::Scaled;
            n.scaled =
                negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
            n.scale = scale;
            return n;
        }
    }
    // The shape was checked above, so this always reads.
    const auto real = base::parseReal(v);
    if (!real)
        return fail();
    if (real->outOfRange)
        return outOfRange();
    n.kind = BareNumber::Kind::Double;
    n.real = real->value;
    return n;
}

} // namespace quelvor::db
