// Whether an acknowledged upload survives the server being killed: N
// handhelds (default 50) drive whole routes one after the other (every route
// a new load with its collections and tracking points), while quelvord is
// killed with SIGKILL at random moments and started again, several times
// (default 5). The handhelds reconnect by themselves and go on with a new
// route. At the end every upload that was acknowledged ("7001", "7002",
// "7003" received) must be in the database.
//
// Usage: durability_bench [--handhelds N] [--kills N] [--min-gap S] [--max-gap S]
//                         [--collections N] [--points N] [--port N] [--seed N]
//                         [--quelvord PATH]
// A kill comes between --min-gap and --max-gap seconds (default 1 and 6)
// after the server is listening again. Prints the kills, the acknowledged
// uploads and how many of them are missing; exit status 0 when none is.
// Needs the Firebird server on localhost:3050, like the tests.

#include "bench/BenchSupport.h"

#include <signal.h>

#include <cstdio>
#include <memory>
#include <random>
#include <thread>

using namespace quelvor;
using bench::Clock;

namespace {

struct Options
{
    int handhelds = 50;
    int kills = 5;
    double minGap = 1;
    double maxGap = 6;
    int collections = 5;
    int points = 10;
    int seed = 0; // 0: from the clock
    bench::ServerChoice server;
};

Options parseOptions(int argc, char** argv)
{
    Options o;
    bench::CommandLine line("durability_bench");
    line.whole("--handhelds", o.handhelds, 1, 2000);
    line.whole("--kills", o.kills, 0, 1000);
    line.decimal("--min-gap", o.minGap, 0, 3600);
    line.decimal("--max-gap", o.maxGap, 0, 3600);
    line.whole("--collections", o.collections, 0, 1000);
    line.whole("--points", o.points, 0, 10000);
    line.whole("--seed", o.seed, 0, 1L << 30);
    line.server(o.server);
    line.parse(argc, argv);
    if (o.maxGap < o.minGap)
        line.usage("--max-gap is below --min-gap");
    return o;
}

} // namespace

namespace {

int run(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    const unsigned seed = o.seed ? static_cast<unsigned>(o.seed)
                                 : static_cast<unsigned>(Clock::now().time_since_epoch().count());
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> gap(o.minGap, o.maxGap);
    std::printf("durability bench: %d handhelds, routes of %d collections and %d tracking points, %d kills "
                "%.1f to %.1f s apart, seed %u\n",
                o.handhelds, o.collections, o.points, o.kills, o.minGap, o.maxGap, seed);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    std::vector<bench::RouteLoop> loops = bench::registerFleet(coleta, "DURA", o.handhelds);
    const base::Settings settings = bench::serverSettings(coleta, o.server.port);

    auto server = std::make_unique<test::QuelvordProcess>(o.server.quelvord, settings);
    bench::RouteLoopOptions loopOptions;
    loopOptions.port = settings.edtPorta;
    loopOptions.collections = o.collections;
    loopOptions.points = o.points;
    loopOptions.timeout = std::chrono::seconds(30);
    loopOptions.retryPause = std::chrono::milliseconds(100);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads = bench::startRoutes(loops, loopOptions, stop);
    const auto began = Clock::now();
    int kills = 0;
    std::vector<double> restarts; // seconds from the kill to listening again
    int status = 0;
    for (int k = 0; k < o.kills; ++k) {
        std::this_thread::sleep_for(std::chrono::duration<double>(gap(random)));
        server->signal(SIGKILL);
        server->wait();
        ++kills;
        const auto killed = Clock::now();
        try {
            server = std::make_unique<test::QuelvordProcess>(o.server.quelvord, settings);
        } catch (const std::exception& e) {
            std::printf("the server did not start again after kill %d: %s\n", kills, e.what());
            status = 1;
            server.reset();
            break;
        }
        restarts.push_back(bench::seconds(Clock::now() - killed));
        std::printf("kill %d at %.1f s, listening again after %.2f s\n", kills,
                    bench::seconds(killed - began), restarts.back());
        std::fflush(stdout);
    }
    // A last stretch without kills, so that routes are done after the last start.
    std::this_thread::sleep_for(std::chrono::duration<double>(o.maxGap));
    stop = true;
    bench::joinAll(threads);
    const double wall = bench::seconds(Clock::now() - began);

    long routesDone = 0, routesBegun = 0, requests = 0;
    for (const bench::RouteLoop& loop : loops) {
        routesDone += loop.routesDone;
        routesBegun += static_cast<long>(loop.routes.size());
        requests += static_cast<long>(loop.requests.size());
    }
    std::printf("%.1f s, %d kills, %ld requests answered, %ld routes begun, %ld done\n", wall, kills,
                requests, routesBegun, routesDone);
    bench::printTroubles("handhelds' failures:", loops, began, Clock::now());
    if (server)
        bench::printLogErrors(*server);
    server.reset();

    const bench::AckTally tally =
        bench::tallyAcknowledged(bench::storedLoads(coleta), bench::allRoutes(loops));
    std::printf("kills: %d\n", kills);
    bench::printTally(tally);
    if (tally.missing > 0 || routesDone == 0)
        status = 1;
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuarded("durability_bench", [&] { return run(argc, argv); });
}
