#pragma once
// What the benchmarks that drive a real quelvord share: the command line's
// numbers, percentiles, the handhelds' registration, the count of
// acknowledged uploads that the database does not hold, the server's log
// errors, its memory, descriptors and threads from /proc, and a handheld that
// drives routes one after the other until it is told to stop, reconnecting
// whenever the server is gone.

#include "tests/support/QuelvordProcess.h"
#include "tests/support/TestDatabase.h"
#include "tools/HandheldSession.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

// The quelvord that the build made (the build sets it; "quelvord" on the PATH
// otherwise).
#ifndef QUELVORD_PATH
#define QUELVORD_PATH "quelvord"
#endif

namespace quelvor::bench {

using Clock = std::chrono::steady_clock;

// --- the command line ---------------------------------------------------------

// The server every run starts: --port (0: a free one) and --quelvord.
struct ServerChoice
{
    int port = 0;
    std::string quelvord = QUELVORD_PATH;
};

// Options by name, each with the variable it sets; the usage line is made of
// them. A wrong option, a missing or out-of-range value prints the usage and
// exits with status 3. Decimals take a point, never the locale's comma.
class CommandLine
{
public:
    explicit CommandLine(std::string program) : m_program(std::move(program)) {}

    void whole(const std::string& name, int& target, long min, long max, const std::string& meta = "N");
    void decimal(const std::string& name, double& target, double min, double max,
                 const std::string& meta = "S");
    void text(const std::string& name, std::string& target, const std::string& meta = "PATH");
    void flag(const std::string& name, bool& target);
    // --port and --quelvord; `maxPort` below 65535 leaves room for ports after it.
    void server(ServerChoice& target, int maxPort = 65535);

    void parse(int argc, char** argv) const;
    [[noreturn]] void usage(const std::string& why) const;

private:
    struct Option
    {
        std::string name;
        std::string meta;                             // empty for a flag
        std::function<void(const std::string&)> take; // sets the target or calls usage()
    };
    std::string m_program;
    std::vector<Option> m_options;
};

// Runs the bench and returns its status; an exception (the database, the
// server that does not start) is printed and gives status 2, after the
// bench's own objects are gone: its quelvord stopped, its databases dropped.
int runGuarded(const std::string& program, const std::function<int()>& bench);

// --- figures ----------------------------------------------------------------

double ms(std::chrono::nanoseconds d);
double seconds(std::chrono::nanoseconds d);
// The value below which `share` of the sorted samples lie (nearest rank).
std::chrono::nanoseconds percentile(const std::vector<std::chrono::nanoseconds>& sorted, double share);

// --- the fleet's registration -------------------------------------------------

// "<prefix>-01", "<prefix>-02", ... for i = 0, 1, ...
std::string deviceName(const std::string& prefix, int i);
// Registers and releases the handhelds in DISPOSITIVOS, with two tanks and
// the routes 1 and 2 in turn.
void registerDevices(const test::TestDatabase& coleta, const std::vector<std::string>& devices);
// quelvord's settings for the scratch collection database on `port` (0: a
// free one), no ERP, no ten-minute synchronisation.
base::Settings serverSettings(const test::TestDatabase& coleta, int port);

// --- what the database holds --------------------------------------------------

// Per load: whether the row is there and finished, and how many collections
// and tracking points the database holds for it.
struct Stored
{
    bool present = false;
    bool finished = false;
    long collections = 0;
    long points = 0;
};
std::map<std::string, Stored> storedLoads(const test::TestDatabase& coleta);

struct AckTally
{
    long loads = 0; // the open and the closed upload of a load count apart
    long collections = 0;
    long points = 0;
    long missing = 0; // acknowledged and not in the database

    long uploads() const { return loads + collections + points; }
};
// Every upload of the routes that the server acknowledged, checked against
// the database.
AckTally tallyAcknowledged(const std::map<std::string, Stored>& stored,
                           const std::vector<tools::RouteReport>& routes);
// "acknowledged uploads: ... missing from the database: N"
void printTally(const AckTally& tally);

// --- the server ---------------------------------------------------------------

// Failed statements, failed lookups, socket errors: prints the number of log
// lines whose message begins with "Erro" or "erro", and the first of them.
void printLogErrors(const test::QuelvordProcess& server);

// From /proc/<pid>: resident memory (now and its peak), threads and open
// descriptors; all -1 when the process is gone.
struct ProcessFigures
{
    long rssKb = -1;
    long peakRssKb = -1; // VmHWM
    long threads = -1;
    long descriptors = -1;
};
ProcessFigures processFigures(pid_t pid);
// "RSS 12345 kB, 17 threads, 40 descriptors"
std::string describe(const ProcessFigures& figures);

// Raises this process's soft descriptor limit to its hard limit (a crowd of
// connections needs more than the default 1024); returns the new limit.
unsigned long raiseOwnDescriptorLimit();

// --- a handheld driving routes in a loop ----------------------------------------

// How a request or a connection attempt ended, other than acknowledged.
enum class Trouble
{
    NotAcknowledged, // an answer came, without the acknowledgement (a failed write)
    Refused,         // "9998"
    Closed,          // the server closed the connection (or it broke off)
    TimedOut,        // nothing came within the handheld's time limit
    ConnectFailed,   // the connection could not be made
    Other,           // a route that could not be driven, and the like
};
const char* troubleName(Trouble trouble);
inline constexpr int kTroubleKinds = 6;

struct RouteLoopOptions
{
    int port = 0;
    int collections = 5;
    int points = 10;
    std::chrono::milliseconds timeout{60000};  // connect, every write, every read
    std::chrono::milliseconds retryPause{200}; // after a failure, before connecting again
};

struct RequestSample
{
    std::string code;
    Clock::time_point answered;
    std::chrono::nanoseconds elapsed;
};

struct TroubleEvent
{
    Trouble kind;
    Clock::time_point when;
    std::string message;
};

// One handheld's record; written by its thread alone, read after the join.
struct RouteLoop
{
    std::string device;
    std::string keyReference = "1";
    std::vector<tools::RouteReport> routes;      // every route begun, the last one possibly half done
    std::vector<RequestSample> requests;         // every answer that came
    std::vector<Clock::time_point> acknowledged; // when each acknowledged upload's answer came
    std::vector<TroubleEvent> troubles;
    long routesDone = 0;
};

// Drives whole routes one after the other, each on a connection of its own
// (a handshake opens the session) with a new load, until `stop` is set; a
// route that fails is recorded and the next one begins on a new
// connection after the pause. Returns when `stop` is seen between two routes
// or while waiting to reconnect.
void runRoutes(RouteLoop& loop, const RouteLoopOptions& options, const std::atomic<bool>& stop);

// One loop per handheld, "<prefix>-01" and on, each drawing its keys with its
// own reference, registered and released in the database.
std::vector<RouteLoop> registerFleet(const test::TestDatabase& coleta, const std::string& prefix,
                                     int handhelds);
// A thread per loop running runRoutes; join them after setting `stop`.
std::vector<std::thread> startRoutes(std::vector<RouteLoop>& loops, const RouteLoopOptions& options,
                                     const std::atomic<bool>& stop);
void joinAll(std::vector<std::thread>& threads);
// "handhelds' failures: 0 answers without acknowledgement, ..." of the troubles
// recorded in [from, to).
void printTroubles(const char* heading, const std::vector<RouteLoop>& loops, Clock::time_point from,
                   Clock::time_point to);

// All routes of all the loops, for tallyAcknowledged.
std::vector<tools::RouteReport> allRoutes(const std::vector<RouteLoop>& loops);

// --- CPU time -------------------------------------------------------------------

// The user and system CPU time a process has used so far, from
// /proc/<pid>/stat, in seconds; -1 when the process is gone.
double cpuSeconds(pid_t pid);
// The local Firebird server's process (the one named "firebird"); 0 when
// there is none, as with a Classic server's process per attachment.
pid_t firebirdPid();

} // namespace quelvor::bench
