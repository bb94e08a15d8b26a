// The row encoding of every column kind. Whatever the value, what goes to the
// handheld is never empty and never holds CR or LF (either would cut the
// reply line short); a kind the handheld cannot take goes as the blank and
// is flagged; text loses exactly the characters it must; numbers read back
// as the value (NUMERIC exactly, FLOAT/DOUBLE to 15 significant digits, even
// next to the largest double) and dates and timestamps as their fields.

#include "protocol/RowEncoding.h"
#include "tests/fuzz/FuzzSupport.h"

#include <ibase.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace quelvor;
using db::ColumnKind;

namespace {

struct KindCase
{
    unsigned type;
    int subType;
    bool scaled;
};

// One column of each kind, in the order of db::ColumnKind.
const KindCase kKinds[] = {
    {SQL_VARYING, 0, false},   {SQL_SHORT, 0, false},     {SQL_LONG, 0, false},    {SQL_LONG, 0, true},
    {SQL_INT64, 0, true},      {SQL_INT64, 0, false},     {SQL_DOUBLE, 0, false},  {SQL_TYPE_DATE, 0, false},
    {SQL_TIMESTAMP, 0, false}, {SQL_TYPE_TIME, 0, false}, {SQL_BOOLEAN, 0, false}, {SQL_BLOB, 1, false},
    {SQL_BLOB, 0, false},      {SQL_ARRAY, 0, false},
};

std::string withoutLost(const std::string& s)
{
    std::string out;
    for (char c : s)
        if (!std::strchr("'\"`\r\n", c) || c == '\0')
            out += c;
    return out;
}

// A decimal text as an exact (digits, power of ten) pair, trailing zeros off.
bool exactDecimal(const std::string& t, bool& negative, std::string& digits, long& exponent)
{
    size_t i = 0;
    negative = false;
    if (i < t.size() && t[i] == '-')
        negative = true, ++i;
    digits.clear();
    exponent = 0;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i)
        digits += t[i];
    if (i < t.size() && t[i] == '.')
        for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i)
            digits += t[i], --exponent;
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e'))
        exponent += std::strtol(t.c_str() + i + 1, nullptr, 10), i = t.size();
    if (i != t.size() || digits.empty())
        return false;
    const size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back(), ++exponent;
    if (digits == "0")
        negative = false, exponent = 0;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const unsigned which = in.byte() % (sizeof kKinds / sizeof kKinds[0]);
    const KindCase& k = kKinds[which];
    db::Column column;
    column.name = "C";
    column.type = k.type;
    column.subType = k.subType;
    const bool isNull = (in.byte() & 0x0f) == 0x0f;
    column.scale = k.scaled ? -static_cast<int>(in.byte() % (k.type == SQL_LONG ? 10 : 19)) : 0;
    if (k.scaled && column.scale == 0)
        column.scale = -1;
    const ColumnKind kind = column.kind();
    FUZZ_CHECK(static_cast<unsigned>(kind) == which);

    db::Value value;
    const std::uint64_t raw = in.number(8);
    std::int64_t whole = static_cast<std::int64_t>(raw);
    if (k.type == SQL_SHORT)
        whole = static_cast<std::int16_t>(raw);
    else if (k.type == SQL_LONG)
        whole = static_cast<std::int32_t>(raw);
    double real;
    std::memcpy(&real, &raw, sizeof real);
    auto part = [raw](int shift, unsigned modulus) { return static_cast<int>((raw >> shift) % modulus); };
    const base::Date date{part(0, 9999) + 1, part(16, 12) + 1, part(24, 31) + 1};
    const base::Time time{part(32, 24), part(40, 60), part(48, 60), part(56, 256) * 39};
    const std::string text(in.rest());
    if (!isNull) {
        switch (kind) {
        case ColumnKind::String:
        case ColumnKind::Memo:
        case ColumnKind::Blob:
        case ColumnKind::Unknown:
            value.data = text;
            break;
        case ColumnKind::Float:
            value.data = real;
            break;
        case ColumnKind::Date:
            value.data = date;
            break;
        case ColumnKind::SQLTimeStamp:
            value.data = base::Timestamp{date, time};
            break;
        case ColumnKind::Time:
            value.data = time;
            break;
        case ColumnKind::Boolean:
            value.data = (raw & 1) != 0;
            break;
        default:
            value.data = whole;
            break;
        }
    }

    const protocol::ValorCodificado out = protocol::codificaValor(value, column);
    FUZZ_CHECK(!out.texto.empty());
    FUZZ_CHECK(out.texto.find_first_of("\r\n") == std::string::npos);
    if (isNull) {
        FUZZ_CHECK(out.texto == " ");
        return 0;
    }
    switch (kind) {
    case ColumnKind::String:
    case ColumnKind::Memo: {
        const std::string expected = withoutLost(text);
        FUZZ_CHECK(out.tratado);
        FUZZ_CHECK(out.texto == (expected.empty() ? " " : expected));
        break;
    }
    case ColumnKind::SmallInt:
    case ColumnKind::Integer:
        FUZZ_CHECK(out.tratado);
        FUZZ_CHECK(out.texto == std::to_string(whole));
        break;
    case ColumnKind::BCD:
    case ColumnKind::FMTBcdField: {
        bool negative;
        std::string digits;
        long exponent;
        FUZZ_CHECK(exactDecimal(out.texto, negative, digits, exponent));
        bool wantNegative;
        std::string wantDigits;
        long wantExponent;
        exactDecimal(std::to_string(whole), wantNegative, wantDigits, wantExponent);
        wantExponent += column.scale;
        if (wantDigits == "0")
            wantExponent = 0;
        FUZZ_CHECK(negative == wantNegative && digits == wantDigits && exponent == wantExponent);
        break;
    }
    case ColumnKind::Float:
        if (std::isfinite(real)) {
            // Read back wider than a double: 15 digits of a value near the
            // largest double round up past it.
            const long double back = std::strtold(out.texto.c_str(), nullptr);
            const long double want = real;
            FUZZ_CHECK(std::fabs(back - want) <= std::fabs(want) * 1e-14L);
        }
        break;
    case ColumnKind::Date: {
        int m = 0, d = 0, y = 0;
        char tail = 0;
        FUZZ_CHECK(std::sscanf(out.texto.c_str(), "%d/%d/%d%c", &m, &d, &y, &tail) == 3);
        FUZZ_CHECK(m == date.month && d == date.day && y == date.year % 100);
        break;
    }
    case ColumnKind::SQLTimeStamp: {
        int mo = 0, d = 0, y = 0, h = 0, mi = 0, s = 0;
        FUZZ_CHECK(out.texto.size() == 19);
        FUZZ_CHECK(std::sscanf(out.texto.c_str(), "%2d/%2d/%4d %2d:%2d:%2d", &mo, &d, &y, &h, &mi, &s) == 6);
        FUZZ_CHECK(mo == date.month && d == date.day && y == date.year);
        FUZZ_CHECK(h == time.hour && mi == time.minute && s == time.second);
        break;
    }
    default:
        FUZZ_CHECK(!out.tratado && out.texto == " ");
        break;
    }
    return 0;
}
