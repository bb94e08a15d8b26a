#include "base/Numbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace quelvor::base {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<long long> parseWhole(std::string_view text)
{
    const bool plus = !text.empty() && text.front() == '+';
    if (plus)
        text.remove_prefix(1); // from_chars takes a minus only
    if (text.empty() || text.front() == '+' || (plus && text.front() == '-'))
        return std::nullopt;
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<Real> parseReal(std::string_view text)
{
    // The shape first: from_chars alone would also take "inf", "nan" and
    // hexadecimal forms, and refuses a leading plus.
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const size_t numberStart = i;
    size_t intDigits = 0;
    size_t leadingZeros = 0; // zeros before the first significant digit, point aside
    bool significant = false;
    auto digit = [&](char c) {
        if (c != '0')
            significant = true;
        else if (!significant)
            ++leadingZeros;
    };
    while (i < text.size() && isDigit(text[i])) {
        digit(text[i++]);
        ++intDigits;
    }
    size_t fracDigits = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            digit(text[i++]);
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return std::nullopt;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        const size_t exponentStart = i;
        while (i < text.size() && isDigit(text[i])) {
            if (exponent < 1000000000)
                exponent = exponent * 10 + (text[i] - '0'); // saturates far beyond any double
            ++i;
        }
        if (i == exponentStart)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != text.size())
        return std::nullopt;

    Real real;
    const char* first = text.data() + numberStart;
    const char* last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(first, last, real.value);
    if (ec == std::errc() && end == last) {
        if (negative)
            real.value = -real.value;
        return real;
    }
    if (ec != std::errc::result_out_of_range)
        return std::nullopt;
    // Too large or too small: the decimal exponent of the first significant
    // digit tells which.
    real.outOfRange = true;
    const long long firstDigitExponent =
        static_cast<long long>(intDigits) - 1 - static_cast<long long>(leadingZeros) + exponent;
    real.value = firstDigitExponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative)
        real.value = -real.value;
    return real;
}

std::string zeroPadded(long long value, int width)
{
    char digits[24];
    const bool negative = value < 0;
    // The magnitude as unsigned, safe for the smallest long long.
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude);
    const std::string_view text(digits, static_cast<size_t>(end - digits));
    std::string out;
    if (negative)
        out += '-';
    const int padding = width - static_cast<int>(text.size()) - (negative ? 1 : 0);
    if (padding > 0)
        out.append(static_cast<size_t>(padding), '0');
    out += text;
    return out;
}

std::string fixedPoint(double value, int places)
{
    char buf[400]; // DBL_MAX in fixed notation has 309 integer digits
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, places);
    if (ec != std::errc())
        return {};
    return std::string(buf, end);
}

std::string shortestReal(double value)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    if (ec != std::errc())
        return {};
    return std::string(buf, end);
}

} // namespace quelvor::base
