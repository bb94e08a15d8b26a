// Whether quelvord holds steady over a long run: N handhelds (default 20)
// drive whole routes one after the other for a while (default 10 minutes);
// quelvord's RSS, open descriptors and threads are printed at the start,
// every minute and at the end, then the requests and routes done, and the acknowledged uploads missing from
// the database (must be 0).
//
// Usage: soak_bench [--minutes M] [--handhelds N] [--collections N] [--points N]
//                   [--port N] [--quelvord PATH]
// --minutes takes a decimal (0.5: thirty seconds). Exit status 0 when
// nothing acknowledged is missing and routes were done.

#include "bench/BenchSupport.h"

#include <cstdio>
#include <thread>

using namespace quelvor;
using bench::Clock;

namespace {

struct Options
{
    double minutes = 10;
    int handhelds = 20;
    int collections = 10;
    int points = 20;
    bench::ServerChoice server;
};

Options parseOptions(int argc, char** argv)
{
    Options o;
    bench::CommandLine line("soak_bench");
    line.decimal("--minutes", o.minutes, 0.05, 10000, "M");
    line.whole("--handhelds", o.handhelds, 1, 2000);
    line.whole("--collections", o.collections, 0, 1000);
    line.whole("--points", o.points, 0, 10000);
    line.server(o.server);
    line.parse(argc, argv);
    return o;
}

} // namespace

namespace {

int run(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    std::printf("soak bench: %d handhelds, routes of %d collections and %d tracking points, %.2f minutes\n",
                o.handhelds, o.collections, o.points, o.minutes);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    std::vector<bench::RouteLoop> loops = bench::registerFleet(coleta, "SOAK", o.handhelds);
    const base::Settings settings = bench::serverSettings(coleta, o.server.port);
    test::QuelvordProcess server(o.server.quelvord, settings);

    bench::RouteLoopOptions loopOptions;
    loopOptions.port = settings.edtPorta;
    loopOptions.collections = o.collections;
    loopOptions.points = o.points;
    std::atomic<bool> stop{false};
    std::printf("%8s  %s\n", "start", bench::describe(bench::processFigures(server.pid())).c_str());
    std::fflush(stdout);
    const auto began = Clock::now();
    const auto end =
        began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.minutes * 60));
    std::vector<std::thread> threads = bench::startRoutes(loops, loopOptions, stop);
    for (int minute = 1;; ++minute) {
        const auto next = began + std::chrono::minutes(minute);
        if (next >= end)
            break;
        std::this_thread::sleep_until(next);
        char at[16];
        std::snprintf(at, sizeof at, "%d min", minute);
        std::printf("%8s  %s\n", at, bench::describe(bench::processFigures(server.pid())).c_str());
        std::fflush(stdout);
    }
    std::this_thread::sleep_until(end);
    const bench::ProcessFigures last = bench::processFigures(server.pid());
    stop = true;
    bench::joinAll(threads);
    std::printf("%8s  %s\n", "end", bench::describe(last).c_str());

    long routesDone = 0, requests = 0, troubles = 0;
    for (const bench::RouteLoop& loop : loops) {
        routesDone += loop.routesDone;
        requests += static_cast<long>(loop.requests.size());
        troubles += static_cast<long>(loop.troubles.size());
    }
    const double wall = bench::seconds(Clock::now() - began);
    std::printf("%.1f s: %ld requests answered (%.1f/s), %ld routes done, %ld routes failed\n", wall,
                requests, static_cast<double>(requests) / wall, routesDone, troubles);
    for (const bench::RouteLoop& loop : loops)
        if (!loop.troubles.empty()) {
            std::printf("first failure, %s: %s\n", loop.device.c_str(),
                        loop.troubles.front().message.substr(0, 200).c_str());
            break;
        }
    bench::printLogErrors(server);
    const bench::AckTally tally =
        bench::tallyAcknowledged(bench::storedLoads(coleta), bench::allRoutes(loops));
    bench::printTally(tally);
    return tally.missing == 0 && routesDone > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuarded("soak_bench", [&] { return run(argc, argv); });
}
