#pragma once
// Numbers written and read in the C form, whatever the process locale: the
// window toolkit sets LC_NUMERIC from the environment (a comma under pt_BR),
// and printf, strtod and their kin follow it. Everything here goes through
// std::to_chars and std::from_chars. Pure functions, callable from any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quelvor::base {

// A whole number: an optional sign and decimal digits, the whole text and
// nothing else. Nothing when the text is not one or does not fit.
std::optional<long long> parseWhole(std::string_view text);

// A real number in the C form: an optional sign, digits with an optional point
// (at least one digit in all) and an optional exponent (e or E, an optional
// sign and digits); the whole text and nothing else.
struct Real
{
    double value = 0;
    // The value lies beyond a double's range: value is then ±infinity, or ±0
    // for a magnitude below the smallest a double holds.
    bool outOfRange = false;
};
std::optional<Real> parseReal(std::string_view text);

// Decimal digits, left padded with zeros to `width` ("%0*lld").
std::string zeroPadded(long long value, int width);

// Fixed notation with `places` decimals and a point ("%.*f").
std::string fixedPoint(double value, int places);

// The shortest text that reads back as the same double, fixed notation where
// it is shorter ("%g" without its six-digit cut).
std::string shortestReal(double value);

} // namespace quelvor::base
