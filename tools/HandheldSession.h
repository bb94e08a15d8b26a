#pragma once
// A handheld's session on one connection: the handshake, the catalogues, a
// load key, the uploads, and a whole route made of them, each step checking
// the answer as a handheld would and throwing HandheldError when it is not
// what the handheld needs (Refused for "9998", Unexpected for an upload that
// is not acknowledged or a reply that is missing, Connection from below).
//
// The server keeps one session per connection: the handshake must be the
// first request, and every later request goes over the same connection.
// One object belongs to one thread, like its connection.

#include "tools/HandheldConnection.h"
#include "tools/HandheldLines.h"

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quelvor::tools {

// Called after every answer with the request code and the time it took.
using RequestTimer = std::function<void(const std::string& code, std::chrono::nanoseconds elapsed)>;

// The settings of the "2000" line, by name.
struct HandshakeReply
{
    std::string tanks;
    std::string validateAverage;
    std::string difference;
    std::string ignoreRoute;
    std::string expectedVersion;
    std::string routes; // the handheld's routes, as the register holds them ("1;2")
    std::string serverDate;
};

// A catalogue's row lines taken apart; row[0] is "3001" to "3005" and row[1]
// the first column, so the positions are those of the reply line.
using CatalogueRows = std::vector<Fields>;

class HandheldSession
{
public:
    HandheldSession(HandheldConnection& connection, Handheld handheld, RequestTimer timer = {});

    const Handheld& handheld() const { return m_handheld; }

    // Sends the fields as a request line; throws HandheldError(Refused) when
    // the answer is the refusal line.
    Answer request(const Fields& fields);

    HandshakeReply handshake();
    // Checks that the header's count matches the rows that came.
    CatalogueRows catalogue(const std::string& code, const std::string& since = {});
    // The new load key from "5001".
    std::string drawKey(const std::string& reference);
    // A "6001", "6002" or "6003" request; checks the acknowledgement
    // ("7001", "7002", "7003" with S and the echoed identifiers).
    void upload(const Fields& fields);

private:
    HandheldConnection& m_connection;
    const Handheld m_handheld;
    const RequestTimer m_timer;
};

// The acknowledgement that a handheld waits for after an upload, as reply
// fields; empty for a code that is not an upload's.
Fields expectedAcknowledgement(const Fields& upload);

struct RouteOptions
{
    int collections = 5;
    int points = 10;
    std::string route; // empty: the first of the handheld's routes from the handshake, else "1"
    std::string keyReference = "1";
};

// What a route got done; filled as it goes, so that it is also right when
// the route stops half way.
struct RouteReport
{
    HandshakeReply handshake;
    std::array<size_t, 5> catalogueRows{}; // by catalogue, "1001" first
    std::string route;
    std::vector<std::string> problems; // why the route was not driven
    std::string loadCode;
    bool loadOpened = false;
    int collectionsAcknowledged = 0;
    int pointsAcknowledged = 0;
    bool loadClosed = false;
};

// A driver's day in one go: the handshake, the five catalogues, a load key,
// the load sent open, the collections at the route's producers with tracking
// points in between, and the load sent again, closed. Throws HandheldError at
// the first step that fails; `report` then tells how far it came. A route
// that has no active producer (when collections are asked for) or that is not
// one of the handheld's routes from the 2000 line (unless that line says to
// ignore the route) is not driven: HandheldError(Route) comes before a key is
// drawn, so nothing is written.
void runRoute(HandheldSession& session, const RouteOptions& options, RouteReport& report);

} // namespace quelvor::tools
