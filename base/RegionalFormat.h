#pragma once
// The regional formats of the server, pinned here to its usual setting: short
// date dd/mm/yyyy, long time hh:mm:ss, date separator "/", time separator ":",
// decimal separator ",". The log, the handshake reply and the text form of
// database values all format through these functions.

#include <cstdint>
#include <string>

namespace quelvor::base {

inline constexpr char kDateSeparator = '/';
inline constexpr char kTimeSeparator = ':';
inline constexpr char kDecimalSeparator = ',';

struct Date
{
    int year = 0, month = 0, day = 0;
    bool operator==(const Date&) const = default;
};
struct Time
{
    int hour = 0, minute = 0, second = 0;
    int fraction = 0; // 1/10000 s
    bool operator==(const Time&) const = default;
};
struct Timestamp
{
    Date date;
    Time time;
    bool operator==(const Timestamp&) const = default;
};

Timestamp localNow();

std::string shortDate(const Date& d); // dd/mm/yyyy
std::string longTime(const Time& t);  // hh:mm:ss
// Short date, a blank and the long time; the date alone at exactly midnight.
std::string dateTimeText(const Timestamp& ts);
// "dd/mm/yyyy hh:mm:ss", always with the time (status clock).
std::string fullDateTime(const Timestamp& ts);

// The general number format: no grouping, no trailing zeros, fixed notation
// unless the value has more integer digits than `precision` or is below
// 0.00001 in magnitude, then with an exponent written as 1E20 or 1.5E-6.
// The decimal separator is the one given.
std::string generalFloat(double value, int precision, char decimalSeparator);
// The same rule on an exact scaled whole number (value = scaled * 10^scale).
std::string generalScaled(std::int64_t scaled, int scale, char decimalSeparator);

} // namespace quelvor::base
