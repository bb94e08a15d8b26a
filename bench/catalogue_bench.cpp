// How long a handheld waits for a big producers' catalogue and what holding
// it costs quelvord: a scratch collection database gets 10,000 producers
// and then 100,000 (columns filled as a real dairy's are), and for each size
// a fresh quelvord is started, so that its peak memory belongs to that size
// alone. One handheld does the handshake and downloads the producers'
// catalogue ("1002") several times; per size it prints
//  - the time per download, from sending the request to the last row line
//    received (median, best, worst), with the target beside it, and the part
//    of it until the header line, which comes once every row was fetched;
//  - the bytes received per download (CR LF included) and the rows;
//  - quelvord's CPU time per download (all its threads: the connection's,
//    the log's), which tells its own cost from the wait for a busy machine;
//  - quelvord's peak resident memory over the baseline: VmHWM after the
//    downloads minus VmRSS (and minus VmHWM) read before the first one, from
//    /proc/<pid>/status, with the target beside it, and the same after the
//    first download alone (later downloads may meet the log lines of the
//    one before still queued).
//
// Usage: catalogue_bench [--sizes N[,N...]] [--downloads N] [--port N] [--quelvord PATH]
// Sizes grow only (each size adds producers to the same database). --port
// gives the first size's port, the next sizes take the ports after it.
// Needs the Firebird server on localhost:3050 with the demo user, like the
// tests. Exit status 0 when every download brought the announced rows.

#include "bench/BenchSupport.h"

#include "tools/HandheldLines.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace quelvor;
using bench::Clock;
using bench::ms;
using bench::percentile;

namespace {

struct Options
{
    std::vector<int> sizes{10000, 100000};
    int downloads = 5;
    bench::ServerChoice server;
};

// What the issue asks of each size; other sizes get the 100,000 figures scaled.
struct Target
{
    double milliseconds;
    double megabytes;
};

Target targetFor(int producers)
{
    if (producers <= 10000)
        return {50, 20};
    return {500.0 * producers / 100000, 20.0 * producers / 100000};
}

std::vector<int> parseSizes(const std::string& text, const bench::CommandLine& line)
{
    std::vector<int> sizes;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        const std::string part =
            text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        char* end = nullptr;
        const long n = std::strtol(part.c_str(), &end, 10);
        if (part.empty() || !end || *end || n < 1 || n > 1000000 || (!sizes.empty() && n <= sizes.back()))
            line.usage("--sizes takes growing whole numbers from 1 to 1000000, separated by commas");
        sizes.push_back(static_cast<int>(n));
        if (comma == std::string::npos)
            return sizes;
        from = comma + 1;
    }
}

Options parseOptions(int argc, char** argv)
{
    Options o;
    std::string sizes;
    bench::CommandLine line("catalogue_bench");
    line.text("--sizes", sizes, "N[,N...]");
    line.whole("--downloads", o.downloads, 1, 1000);
    line.server(o.server, 65000);
    line.parse(argc, argv);
    if (!sizes.empty())
        o.sizes = parseSizes(sizes, line);
    return o;
}

// Producers numbered from `from` up to `to` (excluded), in one block: names,
// addresses and districts of a real dairy's length, coordinates as the
// handhelds write them, the average with its cents, three routes in turn,
// and the ERP's own number.
void addProducers(const test::TestDatabase& coleta, int from, int to)
{
    coleta.execScript(
        "SET TERM ^ ;\n"
        "EXECUTE BLOCK AS DECLARE i INTEGER = " +
        std::to_string(from) +
        "; BEGIN\n"
        "  WHILE (i < " +
        std::to_string(to) +
        ") DO BEGIN\n"
        "    INSERT INTO PRODUTORES (PRO_CLIFOR, CLI_RAZAO, PRO_LATITUDE, PRO_LONGITUDE, "
        "PRO_ENDERECO, PRO_BAIRRO, PRO_CIDADE, PRO_MEDIA, PRO_ROTA, PRO_ORDEM, PRO_ATIVO, "
        "ID_OUTROSISTEMA) "
        "VALUES (100000 + :i, 'PRODUTOR DE TESTE NÚMERO ' || :i || ' E FILHOS LTDA', "
        "'-29.' || (1000000 + MOD(:i * 7919, 8999999)), '-51.' || (1000000 + MOD(:i * 104729, "
        "8999999)), 'ESTRADA GERAL LINHA SÃO JOÃO, KM ' || MOD(:i, 50) || ', LOTE ' || MOD(:i, 97), "
        "'LINHA SÃO JOÃO', 'ARROIO DO MEIO', 100 + MOD(:i, 900) + MOD(:i, 100) / 100.0, "
        "MOD(:i, 3) + 1, :i, IIF(MOD(:i, 20) = 0, 0, 1), 500000 + :i);\n"
        "    i = i + 1;\n"
        "  END\n"
        "END^\n"
        "SET TERM ; ^\n");
}

struct Download
{
    std::chrono::nanoseconds elapsed{}; // the request sent until the last row line read
    std::chrono::nanoseconds header{};  // the request sent until the header line read
    size_t bytes = 0;                   // every reply line with its CR LF
    size_t rows = 0;
    bool complete = false; // the header's count came, and the end line
};

Download download(tools::HandheldConnection& connection, const tools::Handheld& handheld)
{
    Download d;
    const std::string request = tools::requestLine(tools::catalogueFields(handheld, "1002"));
    const auto t0 = Clock::now();
    connection.send(request);
    std::string announced;
    auto lastRow = t0;
    for (;;) {
        const std::string line = connection.readLine();
        d.bytes += line.size() + 2;
        if (line.starts_with("3002")) {
            ++d.rows;
            lastRow = Clock::now();
        } else if (line.starts_with("2002")) {
            lastRow = Clock::now();
            d.header = lastRow - t0;
            announced = tools::replyFields(line).at(1);
        } else {
            d.complete = line.starts_with("9999") && announced == std::to_string(d.rows);
            break;
        }
    }
    d.elapsed = lastRow - t0;
    return d;
}

int run(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    std::printf("catalogue bench: the producers' catalogue (1002), %d downloads per size, a fresh quelvord "
                "per size\n",
                o.downloads);
    std::fflush(stdout);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    coleta.execScript("DELETE FROM PRODUTORES;\n");
    tools::Handheld handheld;
    handheld.device = "CATALOGO-01";
    bench::registerDevices(coleta, {handheld.device});

    int status = 0;
    int held = 0;
    for (size_t s = 0; s < o.sizes.size(); ++s) {
        const int producers = o.sizes[s];
        const auto filling = Clock::now();
        addProducers(coleta, held, producers);
        held = producers;
        std::printf("\n%d producers (%.1f s to insert)\n", producers, bench::seconds(Clock::now() - filling));
        std::fflush(stdout);

        const base::Settings settings =
            bench::serverSettings(coleta, o.server.port > 0 ? o.server.port + static_cast<int>(s) : 0);
        test::QuelvordProcess server(o.server.quelvord, settings);
        tools::HandheldConnection connection("127.0.0.1", settings.edtPorta, std::chrono::seconds(300));
        tools::HandheldSession session(connection, handheld);
        session.handshake();
        const bench::ProcessFigures before = bench::processFigures(server.pid());
        const double cpuBefore = bench::cpuSeconds(server.pid());

        std::vector<std::chrono::nanoseconds> times, headers;
        size_t bytes = 0, rows = 0;
        bool complete = true;
        bench::ProcessFigures afterFirst;
        for (int i = 0; i < o.downloads; ++i) {
            const Download d = download(connection, handheld);
            if (i == 0)
                afterFirst = bench::processFigures(server.pid());
            times.push_back(d.elapsed);
            headers.push_back(d.header);
            bytes = d.bytes;
            rows = d.rows;
            complete = complete && d.complete && d.rows == static_cast<size_t>(producers);
        }
        const bench::ProcessFigures after = bench::processFigures(server.pid());
        const double cpu = (bench::cpuSeconds(server.pid()) - cpuBefore) * 1000 / o.downloads;
        std::sort(times.begin(), times.end());
        std::sort(headers.begin(), headers.end());
        const Target target = targetFor(producers);
        const double overRss = (after.peakRssKb - before.rssKb) / 1024.0;
        const double overHwm = (after.peakRssKb - before.peakRssKb) / 1024.0;
        std::printf(
            "  download (request sent to last row received): median %.1f ms, best %.1f ms, worst %.1f "
            "ms over %d  [target <= %.0f ms]\n",
            ms(percentile(times, 0.5)), ms(times.front()), ms(times.back()), o.downloads,
            target.milliseconds);
        std::printf("  of which until the header line (the rows fetched from the database): median %.1f ms\n",
                    ms(percentile(headers, 0.5)));
        std::printf("  received: %zu rows, %zu bytes per download%s\n", rows, bytes,
                    complete ? "" : "  ** rows missing or the count does not match **");
        std::printf("  quelvord CPU time (user + system, all its threads): %.0f ms per download\n", cpu);
        std::printf(
            "  quelvord peak resident memory over the baseline: %.1f MB (VmHWM %ld kB after - VmRSS %ld "
            "kB before), %.1f MB over VmHWM before (%ld kB)  [target <= %.0f MB]\n",
            overRss, after.peakRssKb, before.rssKb, overHwm, before.peakRssKb, target.megabytes);
        std::printf("  after the first download alone: %.1f MB over VmRSS before (VmHWM %ld kB)\n",
                    (afterFirst.peakRssKb - before.rssKb) / 1024.0, afterFirst.peakRssKb);
        std::fflush(stdout);
        if (!complete)
            status = 1;
        bench::printLogErrors(server);
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuarded("catalogue_bench", [&] { return run(argc, argv); });
}
