// The bare-value parser, which decides how a handheld's number binds. Its
// verdict follows the grammar (sign, digits with one optional point, an
// optional exponent; blanks around; NULL in any case): a text outside it is
// refused as invalid, one inside it is taken or refused as out of range. A
// scaled number written back as text parses to the same number, and a double
// is the one the C library reads from the same text, never infinite.

#include "db/DbError.h"
#include "db/Sql.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cmath>
#include <cstdlib>
#include <string>

using quelvor::db::BareNumber;
using quelvor::db::DbError;
using quelvor::db::parseBare;

namespace {

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

// The grammar, written again independently of the parser.
bool wellFormed(const std::string& v)
{
    size_t i = 0, mantissa = 0;
    if (i < v.size() && (v[i] == '+' || v[i] == '-'))
        ++i;
    while (i < v.size() && digit(v[i]))
        ++i, ++mantissa;
    if (i < v.size() && v[i] == '.')
        for (++i; i < v.size() && digit(v[i]); ++i)
            ++mantissa;
    if (mantissa == 0)
        return false;
    if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-'))
            ++i;
        const size_t start = i;
        while (i < v.size() && digit(v[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == v.size();
}

std::string trimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return s.substr(b, e - b);
}

bool isNullWord(const std::string& v)
{
    if (v.size() != 4)
        return false;
    std::string lower;
    for (char c : v)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return lower == "null";
}

std::string scaledText(const BareNumber& n)
{
    const bool negative = n.scaled < 0;
    std::string digits = std::to_string(negative ? 0 - static_cast<std::uint64_t>(n.scaled)
                                                 : static_cast<std::uint64_t>(n.scaled));
    const size_t frac = static_cast<size_t>(-n.scale);
    if (frac > 0) {
        if (digits.size() <= frac)
            digits = std::string(frac - digits.size() + 1, '0') + digits;
        digits = digits.substr(0, digits.size() - frac) + "." + digits.substr(digits.size() - frac);
    }
    return (negative ? "-" : "") + digits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string v = trimmed(text);
    BareNumber n;
    try {
        n = parseBare(text);
    } catch (const DbError& e) {
        const std::string message = e.what();
        if (message.rfind("valor numérico fora do intervalo", 0) == 0)
            FUZZ_CHECK(wellFormed(v));
        else
            FUZZ_CHECK(!wellFormed(v) && !isNullWord(v));
        return 0;
    }
    switch (n.kind) {
    case BareNumber::Kind::Null:
        FUZZ_CHECK(isNullWord(v));
        break;
    case BareNumber::Kind::Scaled: {
        FUZZ_CHECK(wellFormed(v));
        FUZZ_CHECK(n.scale <= 0 && n.scale >= -18);
        const BareNumber again = parseBare(scaledText(n));
        FUZZ_CHECK(again.kind == BareNumber::Kind::Scaled);
        FUZZ_CHECK(again.scaled == n.scaled && again.scale == n.scale);
        break;
    }
    case BareNumber::Kind::Double:
        FUZZ_CHECK(wellFormed(v));
        FUZZ_CHECK(std::isfinite(n.real));
        FUZZ_CHECK(n.real == std::strtod(v.c_str(), nullptr));
        break;
    }
    return 0;
}
