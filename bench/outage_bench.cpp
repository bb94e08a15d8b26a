// What the handhelds get while the database is out of reach, and how soon
// they are served again: quelvord reaches the Firebird server through a relay
// of this program's own (TcpRelay), its database path
// "127.0.0.1/<relay port>:<file>", while N handhelds (default 10) drive whole
// routes one after the other. The relay is cut for a while (default 10 s)
// in two ways, one after the other:
//  - refused: the relay's port closed and every relayed connection with it;
//  - black hole: connections accepted, nothing forwarded, the bytes dropped.
// Per way it prints what the handhelds got during the cut (acknowledgements,
// answers without one, closed connections, timeouts), the time from the relay
// coming back to the first acknowledged upload and to every handheld having
// one again, and quelvord's threads before, during and after. At the end: the
// acknowledged uploads missing from the database (must be 0) and the time
// quelvord takes to stop. The Firebird server itself is never touched.
//
// Usage: outage_bench [--handhelds N] [--cut S] [--timeout S] [--recovery S]
//                     [--ways refused,blackhole] [--stop-in-blackhole] [--stop-patience S]
//                     [--port N] [--quelvord PATH]
// --timeout is the handhelds' time limit on every read (default 5 s);
// --recovery how long to wait after a cut for every handheld to be served
// again (default 30 s).
// --stop-in-blackhole ends the run with quelvord told to stop (SIGTERM) while
// the handhelds' statements hang in a black hole, and waits --stop-patience
// seconds (default 30) for it to exit before killing it; without it quelvord
// is stopped with the relay working. --port is quelvord's port; the relay takes the next one. Exit status 0
// when nothing acknowledged is missing and the handhelds were served again
// after each cut.

#include "bench/BenchSupport.h"
#include "bench/TcpRelay.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <thread>

using namespace quelvor;
using bench::Clock;

namespace {

struct Options
{
    int handhelds = 10;
    int cutSeconds = 10;
    int timeoutSeconds = 5;
    int recoverySeconds = 30;
    bool stopInBlackHole = false;
    int stopPatience = 30;
    std::vector<std::string> ways{"refused", "blackhole"};
    bench::ServerChoice server;
};

Options parseOptions(int argc, char** argv)
{
    Options o;
    std::string ways = "refused,blackhole";
    bench::CommandLine line("outage_bench");
    line.whole("--handhelds", o.handhelds, 1, 2000);
    line.whole("--cut", o.cutSeconds, 1, 3600, "S");
    line.whole("--timeout", o.timeoutSeconds, 1, 3600, "S");
    line.whole("--recovery", o.recoverySeconds, 1, 3600, "S");
    line.text("--ways", ways, "refused,blackhole");
    line.flag("--stop-in-blackhole", o.stopInBlackHole);
    line.whole("--stop-patience", o.stopPatience, 1, 3600, "S");
    line.server(o.server, 65534);
    line.parse(argc, argv);
    o.ways.clear();
    std::stringstream list(ways);
    for (std::string way; std::getline(list, way, ',');) {
        if (way != "refused" && way != "blackhole")
            line.usage("not a way of cutting: " + way);
        o.ways.push_back(way);
    }
    return o;
}

// The handheld's acknowledgements in [from, to).
long acknowledgedBetween(const bench::RouteLoop& loop, Clock::time_point from, Clock::time_point to)
{
    return std::count_if(loop.acknowledged.begin(), loop.acknowledged.end(),
                         [&](Clock::time_point t) { return t >= from && t < to; });
}

} // namespace

namespace {

int run(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    std::printf(
        "outage bench: %d handhelds, cuts of %d s (%s), handhelds' read limit %d s\n", o.handhelds,
        o.cutSeconds,
        [&] {
            std::string s;
            for (const std::string& w : o.ways)
                s += (s.empty() ? "" : ", ") + w;
            return s;
        }()
            .c_str(),
        o.timeoutSeconds);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    std::vector<bench::RouteLoop> loops = bench::registerFleet(coleta, "OUTAGE", o.handhelds);
    base::Settings settings = bench::serverSettings(coleta, o.server.port);
    const int relayPort = o.server.port > 0 ? o.server.port + 1 : test::freeLoopbackPort();
    bench::TcpRelay relay(relayPort, 3050);
    settings.EdtBaseColeta = "127.0.0.1/" + std::to_string(relayPort) + ":" + coleta.filePath();
    test::QuelvordProcess server(o.server.quelvord, settings);

    bench::RouteLoopOptions loopOptions;
    loopOptions.port = settings.edtPorta;
    loopOptions.timeout = std::chrono::seconds(o.timeoutSeconds);
    loopOptions.retryPause = std::chrono::milliseconds(200);
    // The loops write their records while the cuts go on; the figures are
    // read only after the join, from the times they recorded.
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads = bench::startRoutes(loops, loopOptions, stop);
    struct Cut
    {
        std::string way;
        Clock::time_point began, restored, settled;
        bench::ProcessFigures before, during, after;
        long relayOpenDuring = 0;
    };
    std::vector<Cut> cuts;
    for (const std::string& way : o.ways) {
        std::this_thread::sleep_for(std::chrono::seconds(5)); // steady load first
        Cut cut;
        cut.way = way;
        cut.before = bench::processFigures(server.pid());
        std::printf("%s: cut at %ld connections through the relay\n", way.c_str(), relay.open());
        std::fflush(stdout);
        if (way == "refused")
            relay.refuse();
        else
            relay.blackHole();
        cut.began = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(o.cutSeconds) - std::chrono::seconds(1));
        cut.during = bench::processFigures(server.pid());
        cut.relayOpenDuring = relay.open();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        relay.restore();
        cut.restored = Clock::now();
        // Time for every handheld to be served again; the loops' records are
        // read only after the join, so the figures come from the times recorded.
        std::this_thread::sleep_for(std::chrono::seconds(o.recoverySeconds));
        cut.after = bench::processFigures(server.pid());
        cut.settled = Clock::now();
        cuts.push_back(cut);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    stop = true;
    bench::joinAll(threads);
    // quelvord told to stop while its statements hang in a black hole.
    std::optional<double> stopInBlackHole;
    std::vector<bench::RouteLoop> hangLoops(o.stopInBlackHole ? loops.size() : 0);
    int stopInBlackHoleStatus = 0;
    if (o.stopInBlackHole) {
        std::atomic<bool> hangStop{false};
        for (size_t i = 0; i < loops.size(); ++i) {
            hangLoops[i].device = loops[i].device;
            hangLoops[i].keyReference = loops[i].keyReference;
        }
        std::vector<std::thread> hanging = bench::startRoutes(hangLoops, loopOptions, hangStop);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        relay.blackHole();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const bench::ProcessFigures hung = bench::processFigures(server.pid());
        const auto stopping = Clock::now();
        server.signal(SIGTERM);
        stopInBlackHoleStatus = server.wait(std::chrono::seconds(o.stopPatience));
        stopInBlackHole = bench::seconds(Clock::now() - stopping);
        hangStop = true;
        relay.restore();
        bench::joinAll(hanging);
        std::printf("\n--- SIGTERM during a black hole ---\nquelvord before the signal: %s\n",
                    bench::describe(hung).c_str());
        std::printf("quelvord stopped %s after %.2f s (SIGTERM to exit)\n",
                    stopInBlackHoleStatus < 0
                        ? "only by SIGKILL"
                        : ("with status " + std::to_string(stopInBlackHoleStatus)).c_str(),
                    *stopInBlackHole);
    }

    int status = 0;
    for (const Cut& cut : cuts) {
        // What came back for requests during the cut: the troubles recorded
        // from its start until a read limit after its end (a request sent
        // just before the end times out that much later).
        const auto windowEnd = cut.restored + std::chrono::seconds(o.timeoutSeconds);
        long acksDuring = 0;
        std::optional<Clock::time_point> first;
        std::optional<Clock::time_point> everyone = cut.restored;
        int never = 0;
        for (const bench::RouteLoop& loop : loops) {
            acksDuring += acknowledgedBetween(loop, cut.began, cut.restored);
            const auto again = std::find_if(loop.acknowledged.begin(), loop.acknowledged.end(),
                                            [&](Clock::time_point t) { return t >= cut.restored; });
            if (again == loop.acknowledged.end() || *again >= cut.settled) {
                ++never;
                continue;
            }
            if (!first || *again < *first)
                first = *again;
            if (*again > *everyone)
                everyone = *again;
        }
        std::printf("\n--- %s, %d s ---\n", cut.way.c_str(), o.cutSeconds);
        std::printf("during the cut: %ld uploads acknowledged\n", acksDuring);
        bench::printTroubles("handhelds' failures during the cut:", loops, cut.began, windowEnd);
        if (first)
            std::printf(
                "after the relay came back: first acknowledged upload after %.2f s, every handheld "
                "served again after %s\n",
                bench::seconds(*first - cut.restored),
                never
                    ? ("- (" + std::to_string(never) + " handhelds not within " +
                       std::to_string(static_cast<int>(bench::seconds(cut.settled - cut.restored))) + " s)")
                          .c_str()
                    : (std::to_string(bench::seconds(*everyone - cut.restored)).substr(0, 5) + " s").c_str());
        else
            std::printf("after the relay came back: no upload acknowledged within %.0f s\n",
                        bench::seconds(cut.settled - cut.restored));
        std::printf(
            "quelvord before: %s\nquelvord during: %s (%ld relay connections open)\nquelvord after:  %s\n",
            bench::describe(cut.before).c_str(), bench::describe(cut.during).c_str(), cut.relayOpenDuring,
            bench::describe(cut.after).c_str());
        if (!first || never)
            status = 1;
    }

    std::printf("\n");
    bench::printLogErrors(server);
    {
        std::istringstream log(server.output());
        std::set<std::string> seen;
        for (std::string line; std::getline(log, line);) {
            const size_t dash = line.find('-');
            const std::string message = dash == std::string::npos ? line : line.substr(dash + 1);
            if (message.find("inacess") != std::string::npos ||
                message.find("respondendo novamente") != std::string::npos) {
                const std::string key = message.substr(0, 60);
                if (seen.insert(key).second)
                    std::printf("server log: %s\n", message.substr(0, 240).c_str());
            }
        }
    }
    if (!stopInBlackHole) {
        const auto stopping = Clock::now();
        server.signal(SIGTERM);
        const int exitStatus = server.wait(std::chrono::seconds(o.stopPatience));
        std::printf("quelvord stopped %s after %.2f s (SIGTERM to exit)\n",
                    exitStatus < 0 ? "only by SIGKILL"
                                   : ("with status " + std::to_string(exitStatus)).c_str(),
                    bench::seconds(Clock::now() - stopping));
    }
    relay.stop();

    const bench::AckTally tally = bench::tallyAcknowledged(bench::storedLoads(coleta), [&] {
        // The handhelds of the stop in a black hole count as well.
        std::vector<tools::RouteReport> routes = bench::allRoutes(loops);
        for (const tools::RouteReport& r : bench::allRoutes(hangLoops))
            routes.push_back(r);
        return routes;
    }());
    bench::printTally(tally);
    if (tally.missing > 0)
        status = 1;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuarded("outage_bench", [&] { return run(argc, argv); });
}
