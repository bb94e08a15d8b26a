#include "tools/HandheldSession.h"

#include "base/Numbers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace quelvor::tools {
namespace {

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The field at `index`, or empty when the line is shorter.
std::string fieldAt(const Fields& fields, size_t index)
{
    return index < fields.size() ? fields[index] : std::string();
}

bool isWholeNumber(const std::string& text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A catalogue's decimal value (the server sends a point), or `otherwise`
// when the text is blank or not a number.
double numberOr(const std::string& text, double otherwise)
{
    const std::string t = trimmed(text);
    if (t.empty())
        return otherwise;
    const auto value = base::parseReal(t);
    return value && !value->outOfRange ? value->value : otherwise;
}

std::string decimal(double value, int places)
{
    return base::fixedPoint(value, places);
}

std::string showFields(const Fields& fields)
{
    std::string text;
    for (const std::string& f : fields)
        text += (text.empty() ? "" : " ") + (f.empty() ? std::string("\"\"") : f);
    return text;
}

// The body's reply lines, taken apart.
std::vector<Fields> bodyFields(const Answer& answer)
{
    std::vector<Fields> lines;
    for (const std::string& line : answer.body())
        lines.push_back(replyFields(line));
    return lines;
}

} // namespace

HandheldSession::HandheldSession(HandheldConnection& connection, Handheld handheld, RequestTimer timer)
    : m_connection(connection), m_handheld(std::move(handheld)), m_timer(std::move(timer))
{
}

Answer HandheldSession::request(const Fields& fields)
{
    Answer answer = m_connection.request(requestLine(fields));
    const std::string code = fieldAt(fields, 0);
    if (m_timer)
        m_timer(code, answer.elapsed);
    if (answer.refused())
        throw HandheldError(Failure::Refused,
                            "the server refused " + code + " (9998 SEM PERMISSAO): " +
                                (code == "1000" ? "the company " + m_handheld.company +
                                                      " is not the server's, or the handheld " +
                                                      m_handheld.device + " is not registered and released"
                                                : "the session of this connection is not released"));
    return answer;
}

HandshakeReply HandheldSession::handshake()
{
    const Answer answer = request(handshakeFields(m_handheld));
    for (const Fields& f : bodyFields(answer)) {
        if (f[0] == "2000")
            return {fieldAt(f, 1), fieldAt(f, 2), fieldAt(f, 3), fieldAt(f, 4),
                    fieldAt(f, 5), fieldAt(f, 6), fieldAt(f, 7)};
    }
    throw HandheldError(Failure::Unexpected, "the handshake passed but no 2000 line came with the settings");
}

CatalogueRows HandheldSession::catalogue(const std::string& code, const std::string& since)
{
    const Answer answer = request(catalogueFields(m_handheld, code, since));
    const std::vector<Fields> lines = bodyFields(answer);
    const std::string name = catalogueName(code);
    const std::string headerCode = "2" + code.substr(1);
    const std::string rowCode = "3" + code.substr(1);
    if (lines.empty() || lines[0][0] != headerCode || !isWholeNumber(fieldAt(lines[0], 1)))
        throw HandheldError(Failure::Unexpected,
                            "the " + name + " catalogue came without its header line " + headerCode);
    CatalogueRows rows(lines.begin() + 1, lines.end());
    for (const Fields& row : rows)
        if (row[0] != rowCode)
            throw HandheldError(Failure::Unexpected,
                                "the " + name + " catalogue holds a line " + row[0] + " among its rows");
    if (std::to_string(rows.size()) != lines[0][1])
        throw HandheldError(Failure::Unexpected, "the " + name + " catalogue announced " + lines[0][1] +
                                                     " rows and sent " + std::to_string(rows.size()));
    return rows;
}

std::string HandheldSession::drawKey(const std::string& reference)
{
    const Answer answer = request(keyFields(m_handheld, reference));
    for (const Fields& f : bodyFields(answer)) {
        if (f[0] != "5001")
            continue;
        if (!isWholeNumber(fieldAt(f, 1)) || fieldAt(f, 2) != reference)
            throw HandheldError(Failure::Unexpected,
                                "the key reply is not 5001, a number and the reference " + reference + ": " +
                                    showFields(f));
        return f[1];
    }
    throw HandheldError(Failure::Unexpected,
                        "no load key came back, only the end line (the server's log tells why)");
}

Fields expectedAcknowledgement(const Fields& upload)
{
    const std::string code = fieldAt(upload, 0);
    if (code == "6001")
        return {"7001", "S", fieldAt(upload, 4), fieldAt(upload, 11)};
    if (code == "6002")
        return {"7002", "S", fieldAt(upload, 5)};
    if (code == "6003")
        return {"7003", "S", fieldAt(upload, 4)};
    return {};
}

void HandheldSession::upload(const Fields& fields)
{
    const Fields expected = expectedAcknowledgement(fields);
    const Answer answer = request(fields);
    const std::vector<Fields> lines = bodyFields(answer);
    if (lines.size() == 1 && lines[0] == expected)
        return;
    const std::string what = fieldAt(fields, 0) + " was not acknowledged: expected " + showFields(expected);
    if (lines.empty())
        throw HandheldError(Failure::Unexpected,
                            what + ", only the end line came (the server's log tells why)");
    throw HandheldError(Failure::Unexpected, what + ", got " + showFields(lines[0]));
}

namespace {

struct Stop
{
    std::string producer;
    double latitude;
    double longitude;
    double average;
};

std::string chooseRoute(const RouteOptions& options, const HandshakeReply& handshake)
{
    if (!options.route.empty())
        return options.route;
    // "1;2": the first route the office gave this handheld.
    const std::string routes = handshake.routes;
    const size_t first = routes.find_first_not_of(" ;,");
    if (first != std::string::npos) {
        const std::string route = routes.substr(first, routes.find_first_of(" ;,", first) - first);
        if (isWholeNumber(route))
            return route;
    }
    return "1";
}

std::vector<std::string> routesOf(const std::string& routes)
{
    std::vector<std::string> out;
    size_t from = routes.find_first_not_of(" ;,");
    while (from != std::string::npos) {
        const size_t end = routes.find_first_of(" ;,", from);
        out.push_back(routes.substr(from, end == std::string::npos ? std::string::npos : end - from));
        from = end == std::string::npos ? end : routes.find_first_not_of(" ;,", end);
    }
    return out;
}

// Why the route cannot be driven as a handheld would, or nothing. The server
// itself accepts collections at any producer under any route, so without
// this check they would quietly land at producers of other routes.
std::vector<std::string> routeProblems(const RouteOptions& options, const HandshakeReply& handshake,
                                       const CatalogueRows& producers, const std::string& route)
{
    std::vector<std::string> problems;
    if (options.collections > 0) {
        const bool any = std::any_of(producers.begin(), producers.end(), [&](const Fields& p) {
            return trimmed(fieldAt(p, 9)) == route && trimmed(fieldAt(p, 12)) != "0" &&
                   isWholeNumber(trimmed(fieldAt(p, 1)));
        });
        if (!any)
            problems.push_back("route " + route +
                               " has no active producer in the producers catalogue (1002)");
    }
    if (trimmed(handshake.ignoreRoute) != "S") {
        const std::vector<std::string> routes = routesOf(handshake.routes);
        if (routes.empty())
            problems.push_back("the handheld has no routes in its 2000 line (DIS_ROTAS is empty)");
        else if (std::find(routes.begin(), routes.end(), route) == routes.end())
            problems.push_back("route " + route + " is not one of the handheld's routes (" +
                               handshake.routes + " in its 2000 line)");
    }
    return problems;
}

// The active producers of the route in their order; every active producer
// when the route has none; a stand-in when the catalogue is empty.
std::vector<Stop> stopsOf(const CatalogueRows& producers, const std::string& route)
{
    std::vector<std::pair<double, Stop>> ordered;
    for (int pass = 0; pass < 2 && ordered.empty(); ++pass) {
        for (const Fields& p : producers) {
            if (trimmed(fieldAt(p, 12)) == "0" || !isWholeNumber(trimmed(fieldAt(p, 1))))
                continue;
            if (pass == 0 && trimmed(fieldAt(p, 9)) != route)
                continue;
            ordered.push_back({numberOr(fieldAt(p, 10), 0),
                               {trimmed(p[1]), numberOr(fieldAt(p, 3), -29.12),
                                numberOr(fieldAt(p, 4), -51.94), numberOr(fieldAt(p, 8), 0)}});
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Stop> stops;
    for (auto& o : ordered)
        stops.push_back(o.second);
    if (stops.empty())
        stops.push_back({"1001", -29.12, -51.94, 0});
    return stops;
}

// A driver who is not a master user, as the users catalogue lists them.
std::string driverOf(const CatalogueRows& users)
{
    for (const Fields& u : users)
        if (!trimmed(fieldAt(u, 1)).empty() && trimmed(fieldAt(u, 3)) != "S")
            return trimmed(u[1]);
    for (const Fields& u : users)
        if (!trimmed(fieldAt(u, 1)).empty())
            return trimmed(u[1]);
    return "CARLOS";
}

} // namespace

void runRoute(HandheldSession& session, const RouteOptions& options, RouteReport& report)
{
    using std::chrono::system_clock;
    const Handheld& handheld = session.handheld();

    report.handshake = session.handshake();
    std::vector<CatalogueRows> catalogues;
    for (size_t i = 0; i < kCatalogueCodes.size(); ++i) {
        catalogues.push_back(session.catalogue(kCatalogueCodes[i]));
        report.catalogueRows[i] = catalogues.back().size();
    }
    report.route = chooseRoute(options, report.handshake);
    report.problems = routeProblems(options, report.handshake, catalogues[1], report.route);
    if (!report.problems.empty()) {
        std::string text = "route " + report.route + " not driven, nothing was sent for it";
        for (const std::string& p : report.problems)
            text += "; " + p;
        throw HandheldError(Failure::Route, text);
    }
    const std::vector<Stop> stops = stopsOf(catalogues[1], report.route);
    const std::string driver = driverOf(catalogues[2]);
    const int tanks = std::max(1, static_cast<int>(numberOr(report.handshake.tanks, 1)));

    report.loadCode = session.drawKey(options.keyReference);

    Load load;
    load.code = report.loadCode;
    load.date = dateText(system_clock::now());
    load.start = timestampText(system_clock::now());
    load.user = driver;
    load.route = report.route;
    session.upload(loadFields(handheld, load));
    report.loadOpened = true;

    // Tracking points spread between the collections, the rest after the last.
    double total = 0;
    double distance = 0;
    int sentPoints = 0;
    auto sendPointsUpTo = [&](int count) {
        for (; sentPoints < count; ++sentPoints) {
            const Stop& near = stops[static_cast<size_t>(sentPoints) % stops.size()];
            distance += 1.25;
            TrackingPoint p;
            p.localId = std::to_string(sentPoints + 1);
            p.latitude = decimal(near.latitude + 0.0005, 7);
            p.longitude = decimal(near.longitude - 0.0005, 7);
            p.when = timestampText(system_clock::now());
            p.openLoad = report.loadCode;
            p.distance = decimal(distance, 2);
            session.upload(trackingFields(handheld, p));
            ++report.pointsAcknowledged;
        }
    };
    for (int i = 0; i < options.collections; ++i) {
        sendPointsUpTo(options.points * (i + 1) / (options.collections + 1));
        const Stop& stop = stops[static_cast<size_t>(i) % stops.size()];
        const double quantity = stop.average > 0 ? stop.average : 150.5;
        total += quantity;
        Collection c;
        c.loadCode = report.loadCode;
        c.localId = std::to_string(i + 1);
        c.loadLocalId = load.localId;
        c.sequence = std::to_string(i + 1);
        c.producer = stop.producer;
        c.latitude = decimal(stop.latitude + 0.0001, 7);
        c.longitude = decimal(stop.longitude + 0.0001, 7);
        c.when = timestampText(system_clock::now());
        c.quantity = decimal(quantity, 3);
        c.user = driver;
        c.producerLatitude = decimal(stop.latitude, 7);
        c.producerLongitude = decimal(stop.longitude, 7);
        c.tank = std::to_string(i % tanks + 1);
        c.sampleNumber = std::to_string(i + 1);
        c.sample = "A";
        c.sample += std::to_string(i + 1); // not "A" + ...: a false -Wrestrict in GCC 12 at -O2
        session.upload(collectionFields(handheld, c));
        ++report.collectionsAcknowledged;
    }
    sendPointsUpTo(options.points);

    load.end = timestampText(system_clock::now());
    load.finished = "S";
    load.total = decimal(total, 3);
    load.collections = std::to_string(options.collections);
    load.kmEnd = decimal(12500 + distance, 3);
    load.distance = decimal(distance, 3);
    session.upload(loadFields(handheld, load));
    report.loadClosed = true;
}

} // namespace quelvor::tools
