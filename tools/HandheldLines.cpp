#include "tools/HandheldLines.h"

#include "base/TextConversion.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace quelvor::tools {

std::string requestLine(const Fields& fields)
{
    std::string line;
    for (const std::string& field : fields) {
        line += field;
        line += kStx;
    }
    return line;
}

Fields replyFields(std::string_view line)
{
    Fields fields;
    size_t from = 0;
    for (size_t at = line.find(kStx); at != std::string_view::npos; at = line.find(kStx, from)) {
        fields.emplace_back(line.substr(from, at - from));
        from = at + 1;
    }
    if (from < line.size() || fields.empty())
        fields.emplace_back(line.substr(from));
    return fields;
}

void setField(Fields& fields, size_t index, std::string value)
{
    if (fields.size() <= index)
        fields.resize(index + 1);
    fields[index] = std::move(value);
}

namespace {

Fields header(const std::string& code, const Handheld& h)
{
    return {code, h.device, h.latitude, h.longitude};
}

std::string timeText(std::chrono::system_clock::time_point when, const char* format)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

} // namespace

Fields handshakeFields(const Handheld& handheld)
{
    Fields f = header("1000", handheld);
    f.push_back(handheld.company);
    f.push_back(handheld.version);
    return f;
}

Fields catalogueFields(const Handheld& handheld, const std::string& code, const std::string& since)
{
    Fields f = header(code, handheld);
    if (!since.empty())
        f.push_back(since);
    return f;
}

Fields keyFields(const Handheld& handheld, const std::string& reference)
{
    Fields f = header("4001", handheld);
    f.push_back(reference);
    return f;
}

Fields loadFields(const Handheld& handheld, const Load& load)
{
    Fields f = header("6001", handheld);
    f.insert(f.end(), {
                          load.localId,     // 4
                          load.date,        // 5
                          load.start,       // 6
                          load.end,         // 7
                          load.total,       // 8
                          handheld.device,  // 9
                          load.code,        // 10
                          load.finished,    // 11
                          "",               // 12, not read by the server
                          load.user,        // 13
                          load.collections, // 14
                          load.route,       // 15
                          load.kmStart,     // 16
                          load.kmEnd,       // 17
                          load.distance,    // 18
                      });
    return f;
}

Fields collectionFields(const Handheld& handheld, const Collection& c)
{
    Fields f = header("6002", handheld);
    f.insert(f.end(), {
                          c.loadCode,          // 4
                          c.localId,           // 5
                          c.loadLocalId,       // 6
                          c.sequence,          // 7
                          c.producer,          // 8
                          c.latitude,          // 9
                          c.longitude,         // 10
                          c.when,              // 11
                          c.quantity,          // 12
                          "",                  // 13, not read by the server
                          c.user,              // 14
                          c.cancelled,         // 15
                          c.producerLatitude,  // 16
                          c.producerLongitude, // 17
                          c.tank,              // 18
                          c.acidity,           // 19
                          c.temperature,       // 20
                          c.sampleNumber,      // 21
                          c.collected,         // 22
                          c.reason,            // 23
                          c.sample,            // 24
                          c.alizarol,          // 25
                      });
    return f;
}

Fields trackingFields(const Handheld& handheld, const TrackingPoint& p)
{
    Fields f = header("6003", handheld);
    f.insert(f.end(),
             {p.localId, p.latitude, p.longitude, p.when, p.openLoad, p.speed, p.distance, p.precision});
    return f;
}

std::string dateText(std::chrono::system_clock::time_point when)
{
    return timeText(when, "%m/%d/%Y");
}

std::string timestampText(std::chrono::system_clock::time_point when)
{
    return timeText(when, "%m/%d/%Y %H:%M:%S");
}

namespace {

struct CatalogueName
{
    const char* code;
    const char* name;
};
constexpr CatalogueName kCatalogues[] = {
    {"1001", "routes"}, {"1002", "producers"}, {"1003", "users"}, {"1004", "reasons"}, {"1005", "parameters"},
};

} // namespace

std::optional<std::string> catalogueCode(std::string_view nameOrCode)
{
    for (const CatalogueName& c : kCatalogues)
        if (nameOrCode == c.code || nameOrCode == c.name)
            return std::string(c.code);
    return std::nullopt;
}

std::string catalogueName(std::string_view code)
{
    for (const CatalogueName& c : kCatalogues)
        if (code == c.code)
            return c.name;
    return std::string(code);
}

std::string visibleLine(std::string_view wire, std::string_view separatorMark)
{
    std::string out;
    size_t plainFrom = 0;
    auto flushPlain = [&](size_t to) { out += base::fromWin1252(wire.substr(plainFrom, to - plainFrom)); };
    for (size_t i = 0; i < wire.size(); ++i) {
        const auto byte = static_cast<unsigned char>(wire[i]);
        if (byte >= 0x20 && byte != 0x7F)
            continue;
        flushPlain(i);
        plainFrom = i + 1;
        if (byte == static_cast<unsigned char>(kStx)) {
            out += separatorMark;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    flushPlain(wire.size());
    return out;
}

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string rawLine(std::string_view typed, std::optional<char> separator)
{
    // The escapes and the separator are ASCII, which Windows-1252 keeps as it is.
    const std::string bytes = base::toWin1252(typed);
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (separator && c == *separator) {
            out += kStx;
        } else if (c != '\\') {
            out += c;
        } else if (i + 1 < bytes.size() && bytes[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < bytes.size() && bytes[i + 1] == 'x' && hexValue(bytes[i + 2]) >= 0 &&
                   hexValue(bytes[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(bytes[i + 2]) * 16 + hexValue(bytes[i + 3]));
            i += 3;
        } else {
            throw std::invalid_argument("a backslash must start \\xHH (two hex digits) or \\\\ in \"" +
                                        std::string(typed) + "\"");
        }
    }
    return out;
}

} // namespace quelvor::tools
