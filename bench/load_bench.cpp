// How quelvord holds up under a fleet of handhelds: it starts quelvord on
// scratch copies of the demo databases (collection and ERP, as the demo runs
// it), lets N simulated handhelds (default 20) each drive a whole route at the
// same time over their own connections, and prints
//  - the requests per second over the whole run;
//  - the median and 99th-percentile time of each request type, from the
//    request's first byte sent to its answer's end line;
//  - every upload that the server acknowledged ("7001", "7002", "7003") and
//    the database does not hold: this count must be 0;
// and then, with 10,000 producers added to the catalogue, the time one
// handheld takes to download it (the request until the end line).
//
// Usage: load_bench [--handhelds N[,N...]] [--collections N] [--points N]
//                   [--producers N] [--downloads N] [--quelvord PATH] [--quick-ack]
//                   [--compare] [--status] [--rounds N] [--erp] [--port N]
// --handhelds with a list runs one fleet size after the other (a sweep).
// --compare runs the same load without keeping attachments
// ([Servidor] PoolConexoes=0) and with the pool, in alternating rounds of one
// run, and prints each figure and the ratio (median and range over the rounds).
// --status runs the same load with the status page off and on, in alternating
// rounds; while it is on, a reader fetches / and /metrics every second. It
// prints the requests per second of both and their ratio.
// --erp sets an ERP path, so every request attaches to the ERP database too.
// --probe N (default 300; 0: none) ends each run with one handheld alone:
// N times a TCP connect with its handshake, then N tracking points ("6003")
// one after the other on one connection, with the CPU time that quelvord and
// the Firebird server spent per point.
// Each fleet also prints the CPU time of quelvord and of the Firebird server
// per request.
// --quick-ack makes the handhelds acknowledge every segment at once; the
// difference to a run without it is the time that delayed ACKs add.
// Needs the Firebird server on localhost:3050 with the demo user, like the
// tests. Exit status 0 when every route went through and nothing is missing.

#include "bench/BenchSupport.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#ifndef QUELVORD_PATH
#define QUELVORD_PATH "quelvord"
#endif

using namespace quelvor;
using bench::Clock;
using bench::ms;
using bench::percentile;
using test::TestDatabase;

namespace {

struct Options
{
    std::vector<int> sweep{20}; // --handhelds N[,N...]: one fleet size after the other
    int handhelds = 20;
    int collections = 10;
    int points = 20;
    int producers = 10000;
    int downloads = 3;
    bool quickAck = false;
    bool compare = false; // the same load without a pool and with one, in alternating rounds
    int probe = 300;      // one handheld alone: connects with handshakes, then tracking points
    bool status = false;  // the same load with the status page off and on (read every second)
    int rounds = 3;
    bool erp = false; // an ERP path set, as an integrated installation has it
    int port = 0;     // 0: a free one
    std::string quelvord = QUELVORD_PATH;
};

[[noreturn]] void usage(const char* why)
{
    std::fprintf(
        stderr,
        "load_bench: %s\nUsage: load_bench [--handhelds N[,N...]] [--collections N] [--points N] "
        "[--producers N] [--downloads N] [--quelvord PATH] [--quick-ack] [--compare] [--status] [--rounds N] "
        "[--erp] [--port N] [--probe N]\n",
        why);
    std::exit(3);
}

Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--quick-ack" || name == "--compare" || name == "--erp" || name == "--status") {
            (name == "--quick-ack" ? o.quickAck
             : name == "--compare" ? o.compare
             : name == "--erp"     ? o.erp
                                   : o.status) = true;
            continue;
        }
        if (i + 1 >= argc)
            usage(("missing value after " + name).c_str());
        const std::string value = argv[++i];
        if (name == "--quelvord") {
            o.quelvord = value;
            continue;
        }
        if (name == "--handhelds") {
            o.sweep.clear();
            std::stringstream list(value);
            for (std::string item; std::getline(list, item, ',');) {
                const long n = std::strtol(item.c_str(), nullptr, 10);
                if (n <= 0 || n > 5000)
                    usage(("not a number of handhelds: " + item).c_str());
                o.sweep.push_back(static_cast<int>(n));
            }
            if (o.sweep.empty())
                usage("no number of handhelds");
            o.handhelds = *std::max_element(o.sweep.begin(), o.sweep.end());
            continue;
        }
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (!end || *end || n < 0 || n > 100000)
            usage(("not a count: " + value).c_str());
        if (name == "--rounds" && n > 0)
            o.rounds = static_cast<int>(n);
        else if (name == "--port")
            o.port = static_cast<int>(n);
        else if (name == "--collections")
            o.collections = static_cast<int>(n);
        else if (name == "--points")
            o.points = static_cast<int>(n);
        else if (name == "--producers")
            o.producers = static_cast<int>(n);
        else if (name == "--downloads")
            o.downloads = static_cast<int>(n);
        else if (name == "--probe")
            o.probe = static_cast<int>(n);
        else
            usage(("unknown option " + name).c_str());
    }
    return o;
}

std::string deviceName(int i)
{
    return bench::deviceName("BENCH", i);
}

struct HandheldRun
{
    std::string device;
    tools::RouteReport report;
    std::string failure; // empty when the route went through
    std::vector<std::pair<std::string, std::chrono::nanoseconds>> timings;
};

struct FleetResult
{
    double requestsPerSecond = 0;
    double uploadsPerSecond = 0; // 6001, 6002 and 6003 alone
    std::map<std::string, std::vector<std::chrono::nanoseconds>> byType;
    long missing = 0;
    int failed = 0;
    double cpuServerMs = 0;   // per request, quelvord
    double cpuFirebirdMs = 0; // per request, the Firebird server
};

// CPU time of quelvord and of the Firebird server between two readings.
class CpuMeter
{
public:
    explicit CpuMeter(pid_t server) : m_server(server), m_firebird(bench::firebirdPid())
    {
        m_serverStart = bench::cpuSeconds(m_server);
        m_firebirdStart = bench::cpuSeconds(m_firebird);
    }
    // Milliseconds per item since the meter was made: quelvord, Firebird (-1
    // when its process was not found).
    std::pair<double, double> perItem(size_t items) const
    {
        const double n = items ? static_cast<double>(items) : 1;
        const double server = bench::cpuSeconds(m_server), firebird = bench::cpuSeconds(m_firebird);
        return {(server - m_serverStart) * 1000 / n,
                m_firebird && firebird >= 0 ? (firebird - m_firebirdStart) * 1000 / n : -1};
    }

private:
    pid_t m_server, m_firebird;
    double m_serverStart = 0, m_firebirdStart = 0;
};

// One fleet of `handhelds` handhelds, each a whole route at the same time,
// against the server at `port`; prints its figures.
FleetResult runFleet(const Options& o, int handhelds, int port, pid_t server, const TestDatabase& coleta)
{
    FleetResult result;
    std::vector<HandheldRun> runs(static_cast<size_t>(handhelds));
    std::latch start(handhelds + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < handhelds; ++i) {
        threads.emplace_back([&, i] {
            HandheldRun& run = runs[static_cast<size_t>(i)];
            run.device = deviceName(i);
            run.timings.reserve(static_cast<size_t>(16 + o.collections + o.points));
            start.arrive_and_wait();
            try {
                tools::HandheldConnection connection("127.0.0.1", port, std::chrono::seconds(60));
                connection.setQuickAck(o.quickAck);
                tools::Handheld handheld;
                handheld.device = run.device;
                tools::HandheldSession session(connection, handheld,
                                               [&run](const std::string& code, std::chrono::nanoseconds t) {
                                                   run.timings.emplace_back(code, t);
                                               });
                tools::RouteOptions route;
                route.collections = o.collections;
                route.points = o.points;
                route.keyReference = std::to_string(i + 1);
                tools::runRoute(session, route, run.report);
            } catch (const std::exception& e) {
                run.failure = e.what();
            }
        });
    }
    const CpuMeter cpu(server);
    start.arrive_and_wait();
    const auto began = Clock::now();
    for (std::thread& t : threads)
        t.join();
    const auto wall = Clock::now() - began;

    size_t requests = 0, uploads = 0;
    for (const HandheldRun& run : runs) {
        for (const auto& [code, t] : run.timings) {
            result.byType[code].push_back(t);
            uploads += code == "6001" || code == "6002" || code == "6003";
        }
        requests += run.timings.size();
        if (!run.failure.empty()) {
            ++result.failed;
            std::printf("route of %s failed: %s\n", run.device.c_str(), run.failure.c_str());
        }
    }
    const double seconds = std::chrono::duration<double>(wall).count();
    result.requestsPerSecond = static_cast<double>(requests) / seconds;
    result.uploadsPerSecond = static_cast<double>(uploads) / seconds;
    std::printf(
        "%d handhelds: wall time %.2f s, %zu requests, %.1f requests/s, %.1f uploads/s, %d routes done, "
        "%d failed\n",
        handhelds, seconds, requests, result.requestsPerSecond, result.uploadsPerSecond,
        handhelds - result.failed, result.failed);
    std::tie(result.cpuServerMs, result.cpuFirebirdMs) = cpu.perItem(requests);
    std::printf("CPU per request: quelvord %.3f ms, Firebird %.3f ms\n", result.cpuServerMs,
                result.cpuFirebirdMs);
    std::printf("%-6s %8s %11s %11s %11s\n", "type", "count", "median ms", "p99 ms", "max ms");
    for (auto& [code, samples] : result.byType) {
        std::sort(samples.begin(), samples.end());
        std::printf("%-6s %8zu %11.2f %11.2f %11.2f\n", code.c_str(), samples.size(),
                    ms(percentile(samples, 0.5)), ms(percentile(samples, 0.99)), ms(samples.back()));
    }

    // Every acknowledged upload is in the database.
    std::vector<tools::RouteReport> reports;
    for (const HandheldRun& run : runs)
        reports.push_back(run.report);
    const bench::AckTally tally = bench::tallyAcknowledged(bench::storedLoads(coleta), reports);
    result.missing = tally.missing;
    bench::printTally(tally);
    return result;
}

double median(const FleetResult& r, const std::string& code)
{
    const auto it = r.byType.find(code);
    return it == r.byType.end() || it->second.empty() ? 0 : ms(percentile(it->second, 0.5));
}

struct ProbeResult
{
    double connectP50 = 0, connectP99 = 0;     // TCP connect with the handshake, ms
    double pointP50 = 0, pointP99 = 0;         // one 6003, ms
    double cpuServerMs = 0, cpuFirebirdMs = 0; // per 6003
};

// One handheld alone against the server at `port`; prints its figures.
ProbeResult probe(const Options& o, int port, pid_t server)
{
    ProbeResult result;
    if (o.probe <= 0)
        return result;
    tools::Handheld handheld;
    handheld.device = deviceName(0);
    std::vector<std::chrono::nanoseconds> connects, points;
    for (int i = 0; i < o.probe; ++i) {
        const auto t0 = Clock::now();
        tools::HandheldConnection connection("127.0.0.1", port, std::chrono::seconds(30));
        connection.setQuickAck(o.quickAck);
        tools::HandheldSession session(connection, handheld);
        session.handshake();
        connects.push_back(Clock::now() - t0);
    }
    tools::HandheldConnection connection("127.0.0.1", port, std::chrono::seconds(30));
    connection.setQuickAck(o.quickAck);
    tools::HandheldSession session(connection, handheld);
    session.handshake();
    const CpuMeter cpu(server);
    for (int i = 0; i < o.probe; ++i) {
        tools::TrackingPoint point;
        point.localId = std::to_string(900000 + i);
        point.when = tools::timestampText(std::chrono::system_clock::now());
        const auto t0 = Clock::now();
        session.upload(tools::trackingFields(handheld, point));
        points.push_back(Clock::now() - t0);
    }
    std::tie(result.cpuServerMs, result.cpuFirebirdMs) = cpu.perItem(points.size());
    std::sort(connects.begin(), connects.end());
    std::sort(points.begin(), points.end());
    result.connectP50 = ms(percentile(connects, 0.5));
    result.connectP99 = ms(percentile(connects, 0.99));
    result.pointP50 = ms(percentile(points, 0.5));
    result.pointP99 = ms(percentile(points, 0.99));
    std::printf(
        "one handheld alone: connect with handshake median %.2f ms, p99 %.2f ms; 6003 median %.2f ms, "
        "p99 %.2f ms; CPU per 6003: quelvord %.3f ms, Firebird %.3f ms\n",
        result.connectP50, result.connectP99, result.pointP50, result.pointP99, result.cpuServerMs,
        result.cpuFirebirdMs);
    return result;
}

test::QuelvordProcess::Options withPool(int pool)
{
    test::QuelvordProcess::Options options;
    options.iniExtra = "[Servidor]\nPoolConexoes=" + std::to_string(pool) + "\n";
    return options;
}

// Fetches / and /metrics of the status page every second until stopped, as
// a person with the page open and a Prometheus scrape would.
class StatusReader
{
public:
    explicit StatusReader(int port)
        : m_thread([this, port] {
              httplib::Client client("127.0.0.1", port);
              while (!m_stop) {
                  for (const char* path : {"/", "/metrics"}) {
                      const auto r = client.Get(path);
                      ++(r && r->status == 200 ? m_ok : m_failed);
                  }
                  for (int i = 0; i < 20 && !m_stop; ++i)
                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~StatusReader()
    {
        m_stop = true;
        m_thread.join();
    }
    int ok() const { return m_ok; }
    int failed() const { return m_failed; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_ok{0}, m_failed{0};
    std::thread m_thread; // last: runs once the counters exist
};

// The load with the status page off and on, in alternating rounds.
int compareStatusPage(const Options& o, const base::Settings& s, const TestDatabase& coleta)
{
    int status = 0;
    const int statusPort = test::freeLoopbackPort();
    for (int handhelds : o.sweep) {
        std::vector<double> ratios;
        double off = 0, on = 0;
        for (int round = 1; round <= o.rounds; ++round) {
            double rps[2] = {0, 0};
            for (int pass = 0; pass < 2; ++pass) {
                std::printf("\n--- round %d, %d handhelds, status page %s ---\n", round, handhelds,
                            pass == 0 ? "off" : "on, / and /metrics read every second");
                test::QuelvordProcess::Options options;
                if (pass == 1)
                    options.iniExtra = "[Status]\nPorta=" + std::to_string(statusPort) + "\n";
                test::QuelvordProcess server(o.quelvord, s, options);
                FleetResult r;
                if (pass == 1) {
                    if (!server.waitForOutput("-Página de status em "))
                        std::printf("the status page did not start\n");
                    StatusReader reader(statusPort);
                    r = runFleet(o, handhelds, s.edtPorta, server.pid(), coleta);
                    std::printf("status page reads: %d answered, %d failed\n", reader.ok(), reader.failed());
                    if (reader.ok() == 0 || reader.failed() > 0)
                        status = 1;
                } else {
                    r = runFleet(o, handhelds, s.edtPorta, server.pid(), coleta);
                }
                if (r.failed || r.missing)
                    status = 1;
                rps[pass] = r.requestsPerSecond;
                bench::printLogErrors(server);
            }
            off += rps[0];
            on += rps[1];
            ratios.push_back(rps[1] / rps[0]);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("\n%d handhelds, %d rounds: requests/s %.1f with the status page off, %.1f on; on/off: "
                    "%.3f (median; %.3f-%.3f)\n",
                    handhelds, o.rounds, off / o.rounds, on / o.rounds, ratios[ratios.size() / 2],
                    ratios.front(), ratios.back());
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    std::printf("load bench: whole routes of %d collections and %d tracking points%s%s\n", o.collections,
                o.points, o.erp ? ", an ERP path set" : ", no ERP path",
                o.quickAck ? ", ACKs not delayed" : "");

    TestDatabase coleta(TestDatabase::Kind::Coleta, true);
    TestDatabase tarvell(TestDatabase::Kind::Tarvell, true);
    std::vector<std::string> devices;
    for (int i = 0; i < o.handhelds; ++i)
        devices.push_back(deviceName(i));
    bench::registerDevices(coleta, devices);

    base::Settings s = bench::serverSettings(coleta, o.port);
    if (o.erp) {
        s.EdtBaseTarvell = tarvell.connectionString();
        s.EdtUsuarioTarvell = tarvell.user();
        s.EdtSenhaTarvell = tarvell.password();
    }
    int status = 0;

    if (o.status)
        return compareStatusPage(o, s, coleta);
    if (o.compare) {
        // Alternating rounds in one run: the machine's noise falls on both.
        const int pooled = base::Settings{}.poolConexoes;
        for (int handhelds : o.sweep) {
            std::vector<double> ratioRequests, ratioUploads, ratio6003;
            std::vector<ProbeResult> probes[2];
            std::vector<std::pair<double, double>> cpu[2];
            double without = 0, with = 0;
            for (int round = 1; round <= o.rounds; ++round) {
                FleetResult results[2];
                for (int pass = 0; pass < 2; ++pass) {
                    const int pool = pass == 0 ? 0 : pooled;
                    std::printf("\n--- round %d, %d handhelds, PoolConexoes=%d ---\n", round, handhelds,
                                pool);
                    test::QuelvordProcess server(o.quelvord, s, withPool(pool));
                    results[pass] = runFleet(o, handhelds, s.edtPorta, server.pid(), coleta);
                    if (results[pass].failed || results[pass].missing)
                        status = 1;
                    probes[pass].push_back(probe(o, s.edtPorta, server.pid()));
                    cpu[pass].push_back({results[pass].cpuServerMs, results[pass].cpuFirebirdMs});
                    bench::printLogErrors(server);
                }
                without += results[0].requestsPerSecond;
                with += results[1].requestsPerSecond;
                ratioRequests.push_back(results[1].requestsPerSecond / results[0].requestsPerSecond);
                ratioUploads.push_back(results[1].uploadsPerSecond / results[0].uploadsPerSecond);
                const double m0 = median(results[0], "6003"), m1 = median(results[1], "6003");
                if (m1 > 0)
                    ratio6003.push_back(m0 / m1);
            }
            auto range = [](std::vector<double> v) {
                std::sort(v.begin(), v.end());
                char text[96];
                if (v.empty())
                    return std::string("-");
                std::snprintf(text, sizeof text, "%.2fx (%.2f-%.2f)", v[v.size() / 2], v.front(), v.back());
                return std::string(text);
            };
            std::printf(
                "\n%d handhelds, %d rounds: requests/s %.1f without a pool, %.1f with %d; with/without: "
                "requests/s %s, uploads/s %s, 6003 median faster %s\n",
                handhelds, o.rounds, without / o.rounds, with / o.rounds, pooled,
                range(ratioRequests).c_str(), range(ratioUploads).c_str(), range(ratio6003).c_str());
            auto mid = [](std::vector<double> v) {
                std::sort(v.begin(), v.end());
                return v.empty() ? 0.0 : v[v.size() / 2];
            };
            for (int pass = 0; pass < 2; ++pass) {
                std::vector<double> cs, cf, c50, p50, p99, ps, pf;
                for (const auto& [server, firebird] : cpu[pass]) {
                    cs.push_back(server);
                    cf.push_back(firebird);
                }
                for (const ProbeResult& p : probes[pass]) {
                    c50.push_back(p.connectP50);
                    p50.push_back(p.pointP50);
                    p99.push_back(p.pointP99);
                    ps.push_back(p.cpuServerMs);
                    pf.push_back(p.cpuFirebirdMs);
                }
                std::printf("  PoolConexoes=%d (medians over the rounds): CPU per request quelvord %.3f ms, "
                            "Firebird %.3f ms",
                            pass == 0 ? 0 : pooled, mid(cs), mid(cf));
                if (o.probe > 0)
                    std::printf("; one handheld: connect with handshake %.2f ms, 6003 median %.2f ms, p99 "
                                "%.2f ms, CPU per 6003 quelvord %.3f ms, Firebird %.3f ms",
                                mid(c50), mid(p50), mid(p99), mid(ps), mid(pf));
                std::printf("\n");
            }
        }
        return status;
    }

    {
        test::QuelvordProcess server(o.quelvord, s);
        for (int handhelds : o.sweep) {
            const FleetResult r = runFleet(o, handhelds, s.edtPorta, server.pid(), coleta);
            if (r.failed || r.missing)
                status = 1;
        }
        probe(o, s.edtPorta, server.pid());

        // --- a big catalogue ---------------------------------------------------
        if (o.producers > 0 && o.downloads > 0) {
            coleta.execScript(
                "SET TERM ^ ;\n"
                "EXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN\n"
                "  WHILE (i < " +
                std::to_string(o.producers) +
                ") DO BEGIN\n"
                "    INSERT INTO PRODUTORES (PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, "
                "PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_MEDIA, PRO_ROTA, PRO_ORDEM, PRO_ATIVO) "
                "VALUES (100000 + :i, 'PRODUTOR DE TESTE NÚMERO ' || :i, '-29.1234567', '-51.9456789', "
                "'ESTRADA GERAL LINHA SÃO JOÃO, KM ' || MOD(:i, 50), 'LINHA SÃO JOÃO', "
                "'ARROIO DO MEIO', 312.50, MOD(:i, 3) + 1, :i, 1);\n"
                "    i = i + 1;\n"
                "  END\n"
                "END^\n"
                "SET TERM ; ^\n");
            tools::HandheldConnection connection("127.0.0.1", s.edtPorta, std::chrono::seconds(120));
            connection.setQuickAck(o.quickAck);
            tools::HandheldSession session(connection, tools::Handheld{});
            session.handshake();
            std::vector<std::chrono::nanoseconds> times;
            size_t rows = 0;
            for (int i = 0; i < o.downloads; ++i) {
                const auto t0 = Clock::now();
                rows = session.catalogue("1002").size();
                times.push_back(Clock::now() - t0);
            }
            std::sort(times.begin(), times.end());
            std::printf(
                "producers catalogue of %zu rows: download (1002 until the end line) median %.0f ms, best "
                "%.0f ms, worst %.0f ms over %d downloads\n",
                rows, ms(percentile(times, 0.5)), ms(times.front()), ms(times.back()), o.downloads);
        }
        bench::printLogErrors(server);
    }
    return status;
}
