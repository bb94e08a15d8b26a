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

#ifndef QUELVORD_PATH
#define QUELVORD_PATH "quelvord"
#endif

using namespace quelvor;
using bench::Clock;

namespace {

const std::string kProgram = "durability_bench";
const std::string kUsage = "[--handhelds N] [--kills N] [--min-gap S] [--max-gap S] [--collections N] "
                           "[--points N] [--port N] [--seed N] [--quelvord PATH]";

struct Options
{
    int handhelds = 50;
    int kills = 5;
    double minGap = 1;
    double maxGap = 6;
    int collections = 5;
    int points = 10;
    int port = 0;
    unsigned seed = 0; // 0: from the clock
    std::string quelvord = QUELVORD_PATH;
};

Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const std::string value = bench::optionValue(argc, argv, i, kProgram, kUsage);
        auto number = [&](long min, long max) {
            return static_cast<int>(bench::wholeNumber(value, min, max, kProgram, kUsage));
        };
        if (name == "--handhelds")
            o.handhelds = number(1, 2000);
        else if (name == "--kills")
            o.kills = number(0, 1000);
        else if (name == "--min-gap")
            o.minGap = bench::decimalNumber(value, 0, 3600, kProgram, kUsage);
        else if (name == "--max-gap")
            o.maxGap = bench::decimalNumber(value, 0, 3600, kProgram, kUsage);
        else if (name == "--collections")
            o.collections = number(0, 1000);
        else if (name == "--points")
            o.points = number(0, 10000);
        else if (name == "--port")
            o.port = number(0, 65535);
        else if (name == "--seed")
            o.seed = static_cast<unsigned>(number(0, 1L << 30));
        else if (name == "--quelvord")
            o.quelvord = value;
        else
            bench::usage(kProgram, kUsage, "unknown option " + name);
    }
    if (o.maxGap < o.minGap)
        bench::usage(kProgram, kUsage, "--max-gap is below --min-gap");
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    const unsigned seed = o.seed ? o.seed : static_cast<unsigned>(Clock::now().time_since_epoch().count());
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> gap(o.minGap, o.maxGap);
    std::printf("durability bench: %d handhelds, routes of %d collections and %d tracking points, %d kills "
                "%.1f to %.1f s apart, seed %u\n",
                o.handhelds, o.collections, o.points, o.kills, o.minGap, o.maxGap, seed);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    std::vector<bench::RouteLoop> loops(static_cast<size_t>(o.handhelds));
    std::vector<std::string> devices;
    for (int i = 0; i < o.handhelds; ++i) {
        loops[static_cast<size_t>(i)].device = bench::deviceName("DURA", i);
        loops[static_cast<size_t>(i)].keyReference = std::to_string(i + 1);
        devices.push_back(loops[static_cast<size_t>(i)].device);
    }
    bench::registerDevices(coleta, devices);
    const base::Settings settings = bench::serverSettings(coleta, o.port);

    auto server = std::make_unique<test::QuelvordProcess>(o.quelvord, settings);
    bench::RouteLoopOptions loopOptions;
    loopOptions.port = settings.edtPorta;
    loopOptions.collections = o.collections;
    loopOptions.points = o.points;
    loopOptions.timeout = std::chrono::seconds(30);
    loopOptions.retryPause = std::chrono::milliseconds(100);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (bench::RouteLoop& loop : loops)
        threads.emplace_back([&] { bench::runRoutes(loop, loopOptions, stop); });

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
            server = std::make_unique<test::QuelvordProcess>(o.quelvord, settings);
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
    for (std::thread& t : threads)
        t.join();
    const double wall = bench::seconds(Clock::now() - began);

    long routesDone = 0, routesBegun = 0, requests = 0;
    long troubles[bench::kTroubleKinds] = {};
    for (const bench::RouteLoop& loop : loops) {
        routesDone += loop.routesDone;
        routesBegun += static_cast<long>(loop.routes.size());
        requests += static_cast<long>(loop.requests.size());
        for (const bench::TroubleEvent& t : loop.troubles)
            ++troubles[static_cast<int>(t.kind)];
    }
    std::printf("%.1f s, %d kills, %ld requests answered, %ld routes begun, %ld done\n", wall, kills,
                requests, routesBegun, routesDone);
    std::printf("handhelds' failures:");
    for (int k = 0; k < bench::kTroubleKinds; ++k)
        std::printf("%s %ld %s", k ? "," : "", troubles[k],
                    bench::troubleName(static_cast<bench::Trouble>(k)));
    std::printf("\n");
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
