#include "base/RegionalFormat.h"

#include "base/Numbers.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <string_view>
#include <system_error>

namespace quelvor::base {
namespace {

std::string two(int v)
{
    return zeroPadded(v, 2);
}

std::string four(int v)
{
    return zeroPadded(v, 4);
}

// Writes a value given by its significant digits (no leading or trailing
// zeros, at least one digit) and the decimal exponent of the first digit.
std::string generalFromDigits(bool negative, const std::string& digits, int exponent, int precision, char sep)
{
    std::string out;
    if (negative)
        out += '-';
    // Fixed notation while the integer part fits in `precision` digits and the
    // value is at least 0.00001.
    if (exponent < precision && exponent >= -5) {
        if (exponent < 0) {
            out += '0';
            out += sep;
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const size_t intLen = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= intLen) {
                out += digits;
                out.append(intLen - digits.size(), '0');
            } else {
                out.append(digits, 0, intLen);
                out += sep;
                out.append(digits, intLen, std::string::npos);
            }
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += sep;
        out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(exponent);
    return out;
}

} // namespace

Timestamp localNow()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday},
            {tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms) * 10}};
}

std::string shortDate(const Date& d)
{
    return two(d.day) + kDateSeparator + two(d.month) + kDateSeparator + four(d.year);
}

std::string longTime(const Time& t)
{
    return two(t.hour) + kTimeSeparator + two(t.minute) + kTimeSeparator + two(t.second);
}

std::string dateTimeText(const Timestamp& ts)
{
    if (ts.time == Time{})
        return shortDate(ts.date);
    return shortDate(ts.date) + ' ' + longTime(ts.time);
}

std::string fullDateTime(const Timestamp& ts)
{
    return shortDate(ts.date) + ' ' + longTime(ts.time);
}

std::string generalFloat(double value, int precision, char sep)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";
    // One digit, then precision-1 decimals: rounds to `precision` significant
    // digits. to_chars writes a point and ignores the locale.
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, precision - 1);
    const std::string_view text(buf, ec == std::errc() ? static_cast<size_t>(end - buf) : 0);
    const size_t e = text.find('e');
    std::string mantissa;
    for (char c : text.substr(0, e))
        if (c != '.')
            mantissa += c;
    int exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = text.substr(e + 1);
        const bool negativeExponent = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
            digits.remove_prefix(1);
        std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (negativeExponent)
            exponent = -exponent;
    }
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();
    return generalFromDigits(value < 0, mantissa, exponent, precision, sep);
}

std::string generalScaled(std::int64_t scaled, int scale, char sep)
{
    if (scaled == 0)
        return "0";
    const bool negative = scaled < 0;
    // Magnitude as digits, safe for INT64_MIN.
    std::string digits = std::to_string(scaled);
    if (negative)
        digits.erase(0, 1);
    int exponent = static_cast<int>(digits.size()) - 1 + scale;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    // Scaled values are exact: never cut digits; the exponent form only where
    // the general format would use it.
    return generalFromDigits(negative, digits, exponent, 15, sep);
}

} // namespace quelvor::base
