#pragma once
// The handheld's side of the line format: request lines built field by field
// as the handhelds build them, reply lines taken apart, and both shown on a
// terminal with the separators visible. Pure functions, callable from any
// thread.
//
// A request puts STX after every field, the last one included, as the
// handhelds do: the server then finds field 5 of a handshake and field 4 of a
// catalogue request. Field values are Windows-1252 bytes, as they travel.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quelvor::tools {

inline constexpr char kStx = '\x02';

using Fields = std::vector<std::string>;

// What every request carries (fields 1 to 3) and what the handshake adds.
struct Handheld
{
    std::string device = "DEMO-01";
    std::string latitude = "-29.1234567";
    std::string longitude = "-51.9456789";
    std::string company = "1";
    std::string version = "1.0.0";
};

// Every field followed by STX.
std::string requestLine(const Fields& fields);
// The fields of a reply line, whose every field is followed by STX: the text
// after the last STX is not a field (a line without STX is one field).
Fields replyFields(std::string_view line);

// Field `index` becomes `value`; missing fields before it are added empty.
void setField(Fields& fields, size_t index, std::string value);

// --- requests ---------------------------------------------------------------

Fields handshakeFields(const Handheld& handheld);
// "1001" to "1005"; `since` empty asks for the whole table.
Fields catalogueFields(const Handheld& handheld, const std::string& code, const std::string& since = {});
Fields keyFields(const Handheld& handheld, const std::string& reference);

// A load ("6001"); dates and times as text that the database converts.
struct Load
{
    std::string code;          // the load key from "4001"
    std::string localId = "1"; // the handheld's own identifier of the load
    std::string date;          // MM/DD/YYYY
    std::string start;         // MM/DD/YYYY HH:MM:SS
    std::string end;           // empty while the load is open
    std::string total = "0";
    std::string finished = "N";
    std::string user = "CARLOS";
    std::string collections = "0";
    std::string route = "1";
    std::string kmStart = "12500";
    std::string kmEnd = "12500";
    std::string distance = "0";
};
Fields loadFields(const Handheld& handheld, const Load& load);

// A collection ("6002") at one producer.
struct Collection
{
    std::string loadCode;
    std::string localId = "1";     // the handheld's own identifier of the collection
    std::string loadLocalId = "1"; // Load::localId
    std::string sequence = "1";
    std::string producer = "1001";
    std::string latitude = "-29.1234567";
    std::string longitude = "-51.9456789";
    std::string when; // MM/DD/YYYY HH:MM:SS
    std::string quantity = "312.5";
    std::string user = "CARLOS";
    std::string cancelled = "N";
    std::string producerLatitude = "-29.1234567";
    std::string producerLongitude = "-51.9456789";
    std::string tank = "1";
    std::string acidity = "Negativo";
    std::string temperature = "4.2";
    std::string sampleNumber = "1";
    std::string collected = "1";
    std::string reason = "0";
    std::string sample = "A1";
    std::string alizarol = "76";
};
Fields collectionFields(const Handheld& handheld, const Collection& collection);

// A tracking point ("6003").
struct TrackingPoint
{
    std::string localId = "1"; // the handheld's own identifier of the point
    std::string latitude = "-29.1234567";
    std::string longitude = "-51.9456789";
    std::string when; // MM/DD/YYYY HH:MM:SS
    std::string openLoad = "0";
    std::string speed = "42.5";
    std::string distance = "0";
    std::string precision = "5";
};
Fields trackingFields(const Handheld& handheld, const TrackingPoint& point);

// Local time as the handhelds write it: "MM/DD/YYYY" and "MM/DD/YYYY HH:MM:SS".
std::string dateText(std::chrono::system_clock::time_point when);
std::string timestampText(std::chrono::system_clock::time_point when);

// --- catalogues ---------------------------------------------------------------

// "routes", "producers", "users", "reasons", "parameters" or the code itself
// ("1001" to "1005") give the code; anything else gives nothing.
std::optional<std::string> catalogueCode(std::string_view nameOrCode);
// "routes" for "1001"; the code itself when it is not a catalogue's.
std::string catalogueName(std::string_view code);
inline const std::vector<std::string> kCatalogueCodes = {"1001", "1002", "1003", "1004", "1005"};

// --- the terminal ---------------------------------------------------------------

// A wire line for the terminal, in UTF-8: every STX becomes `separatorMark`,
// every other control byte \xHH, and the rest is decoded from Windows-1252.
std::string visibleLine(std::string_view wire, std::string_view separatorMark);

// A line typed on the command line (UTF-8) as the bytes to send: encoded in
// Windows-1252, then "\xHH" gives the byte HH, "\\" a backslash, and, when
// `separator` is set, that character stands for STX. Throws
// std::invalid_argument for a backslash followed by anything else.
std::string rawLine(std::string_view typed, std::optional<char> separator);

} // namespace quelvor::tools
