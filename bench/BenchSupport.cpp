#include "bench/BenchSupport.h"

#include "base/Numbers.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace quelvor::bench {

void CommandLine::whole(const std::string& name, int& target, long min, long max, const std::string& meta)
{
    m_options.push_back({name, meta, [this, &target, min, max](const std::string& text) {
                             char* end = nullptr;
                             const long n = std::strtol(text.c_str(), &end, 10);
                             if (text.empty() || !end || *end || n < min || n > max)
                                 usage("not a number from " + std::to_string(min) + " to " +
                                       std::to_string(max) + ": " + text);
                             target = static_cast<int>(n);
                         }});
}

void CommandLine::decimal(const std::string& name, double& target, double min, double max,
                          const std::string& meta)
{
    m_options.push_back({name, meta, [this, &target, min, max](const std::string& text) {
                             const auto value = base::parseReal(text);
                             if (!value || value->outOfRange || value->value < min || value->value > max)
                                 usage("not a number from " + base::shortestReal(min) + " to " +
                                       base::shortestReal(max) + ": " + text);
                             target = value->value;
                         }});
}

void CommandLine::text(const std::string& name, std::string& target, const std::string& meta)
{
    m_options.push_back({name, meta, [&target](const std::string& text) { target = text; }});
}

void CommandLine::flag(const std::string& name, bool& target)
{
    m_options.push_back({name, "", [&target](const std::string&) { target = true; }});
}

void CommandLine::server(ServerChoice& target, int maxPort)
{
    whole("--port", target.port, 0, maxPort);
    text("--quelvord", target.quelvord);
}

void CommandLine::parse(int argc, char** argv) const
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const auto option =
            std::find_if(m_options.begin(), m_options.end(), [&](const Option& o) { return o.name == name; });
        if (option == m_options.end())
            usage("unknown option " + name);
        if (option->meta.empty()) {
            option->take({});
            continue;
        }
        if (i + 1 >= argc)
            usage("missing value after " + name);
        option->take(argv[++i]);
    }
}

void CommandLine::usage(const std::string& why) const
{
    std::string line;
    for (const Option& o : m_options)
        line += " [" + o.name + (o.meta.empty() ? "" : " " + o.meta) + "]";
    std::fprintf(stderr, "%s: %s\nUsage: %s%s\n", m_program.c_str(), why.c_str(), m_program.c_str(),
                 line.c_str());
    std::exit(3);
}

int runGuarded(const std::string& program, const std::function<int()>& bench)
{
    try {
        return bench();
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", program.c_str(), e.what());
        return 2;
    }
}

double ms(std::chrono::nanoseconds d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double seconds(std::chrono::nanoseconds d)
{
    return std::chrono::duration<double>(d).count();
}

std::chrono::nanoseconds percentile(const std::vector<std::chrono::nanoseconds>& sorted, double share)
{
    if (sorted.empty())
        return {};
    size_t rank = static_cast<size_t>(share * static_cast<double>(sorted.size()) + 0.999999);
    rank = std::clamp<size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

std::string deviceName(const std::string& prefix, int i)
{
    char number[16];
    std::snprintf(number, sizeof number, "%02d", i + 1);
    return prefix + "-" + number;
}

void registerDevices(const test::TestDatabase& coleta, const std::vector<std::string>& devices)
{
    std::string sql;
    for (size_t i = 0; i < devices.size(); ++i)
        sql += "INSERT INTO DISPOSITIVOS (DIS_ID, DIS_LIBERADO, DIS_NROTANQUES, DIS_ROTAS) VALUES ('" +
               devices[i] + "', 'S', 2, '" + std::to_string(i % 2 + 1) + "');\n";
    if (!sql.empty())
        coleta.execScript(sql);
}

base::Settings serverSettings(const test::TestDatabase& coleta, int port)
{
    base::Settings s = test::settingsForServer(coleta);
    if (port > 0)
        s.edtPorta = port;
    return s;
}

std::map<std::string, Stored> storedLoads(const test::TestDatabase& coleta)
{
    // Grouped counts rather than a count per load: a long run leaves tens of
    // thousands of loads, and RAS_CARGAABERTA has no index.
    const std::string text =
        coleta.queryText("SELECT 'L ' || CAR_CODIGO || ' ' || COALESCE(CAR_FINALIZADO, '-') FROM CARGAS;\n"
                         "SELECT 'C ' || CAR_CODIGO || ' ' || COUNT(*) FROM COLETAS GROUP BY CAR_CODIGO;\n"
                         "SELECT 'P ' || RAS_CARGAABERTA || ' ' || COUNT(*) FROM RASTREAMENTO "
                         "WHERE RAS_CARGAABERTA IS NOT NULL GROUP BY RAS_CARGAABERTA;");
    std::map<std::string, Stored> loads;
    std::map<std::string, long> collections, points;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind, code, value;
        if (!(words >> kind >> code >> value))
            continue;
        if (kind == "L")
            loads[code] = {true, value == "S", 0, 0};
        else if (kind == "C")
            collections[code] = std::strtol(value.c_str(), nullptr, 10);
        else if (kind == "P")
            points[code] = std::strtol(value.c_str(), nullptr, 10);
    }
    for (auto& [code, stored] : loads) {
        stored.collections = collections.count(code) ? collections[code] : 0;
        stored.points = points.count(code) ? points[code] : 0;
    }
    return loads;
}

AckTally tallyAcknowledged(const std::map<std::string, Stored>& stored,
                           const std::vector<tools::RouteReport>& routes)
{
    AckTally tally;
    for (const tools::RouteReport& r : routes) {
        if (r.loadCode.empty())
            continue;
        const auto it = stored.find(r.loadCode);
        const Stored there = it == stored.end() ? Stored{} : it->second;
        const int loads = (r.loadOpened ? 1 : 0) + (r.loadClosed ? 1 : 0);
        tally.loads += loads;
        tally.collections += r.collectionsAcknowledged;
        tally.points += r.pointsAcknowledged;
        // The closed load replaces the open one: both count as missing
        // without the row, the closing one too when the row is not finished.
        tally.missing += there.present ? (r.loadClosed && !there.finished ? 1 : 0) : loads;
        tally.missing += std::max<long>(0, r.collectionsAcknowledged - there.collections);
        tally.missing += std::max<long>(0, r.pointsAcknowledged - there.points);
    }
    return tally;
}

void printTally(const AckTally& tally)
{
    std::printf(
        "acknowledged uploads: %ld (%ld loads, %ld collections, %ld tracking points); missing from the "
        "database: %ld\n",
        tally.uploads(), tally.loads, tally.collections, tally.points, tally.missing);
}

void printLogErrors(const test::QuelvordProcess& server)
{
    std::istringstream log(server.output());
    std::string line, first;
    size_t lines = 0, errors = 0;
    while (std::getline(log, line)) {
        ++lines;
        const size_t dash = line.find('-'); // the date and time hold no '-'
        const std::string message = dash == std::string::npos ? line : line.substr(dash + 1);
        if (message.starts_with("Erro") || message.starts_with("erro")) {
            if (errors++ == 0)
                first = message.substr(0, 300);
        }
    }
    std::printf("server log: %zu lines, %zu errors%s%s\n", lines, errors, errors ? ", the first: " : "",
                first.c_str());
}

ProcessFigures processFigures(pid_t pid)
{
    ProcessFigures f;
    if (pid <= 0)
        return f;
    const std::string dir = "/proc/" + std::to_string(pid);
    std::ifstream status(dir + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            f.rssKb = std::strtol(line.c_str() + 6, nullptr, 10);
        else if (line.starts_with("VmHWM:"))
            f.peakRssKb = std::strtol(line.c_str() + 6, nullptr, 10);
        else if (line.starts_with("Threads:"))
            f.threads = std::strtol(line.c_str() + 8, nullptr, 10);
    }
    std::error_code error;
    long count = 0;
    for (std::filesystem::directory_iterator it(dir + "/fd", error), end; !error && it != end;
         it.increment(error))
        ++count;
    if (!error)
        f.descriptors = count;
    return f;
}

std::string describe(const ProcessFigures& f)
{
    return "RSS " + std::to_string(f.rssKb) + " kB, " + std::to_string(f.threads) + " threads, " +
           std::to_string(f.descriptors) + " descriptors";
}

unsigned long raiseOwnDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<unsigned long>(limit.rlim_cur);
}

const char* troubleName(Trouble trouble)
{
    switch (trouble) {
    case Trouble::NotAcknowledged:
        return "answers without acknowledgement";
    case Trouble::Refused:
        return "refusals";
    case Trouble::Closed:
        return "connections closed";
    case Trouble::TimedOut:
        return "timeouts";
    case Trouble::ConnectFailed:
        return "connects failed";
    case Trouble::Other:
        break;
    }
    return "other failures";
}

namespace {

long acknowledgedSoFar(const tools::RouteReport& r)
{
    return (r.loadOpened ? 1 : 0) + (r.loadClosed ? 1 : 0) + r.collectionsAcknowledged + r.pointsAcknowledged;
}

void pause(std::chrono::milliseconds length, const std::atomic<bool>& stop)
{
    const auto until = Clock::now() + length;
    while (!stop && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace

void runRoutes(RouteLoop& loop, const RouteLoopOptions& options, const std::atomic<bool>& stop)
{
    while (!stop) {
        std::unique_ptr<tools::HandheldConnection> connection;
        try {
            connection =
                std::make_unique<tools::HandheldConnection>("127.0.0.1", options.port, options.timeout);
        } catch (const tools::HandheldError& e) {
            loop.troubles.push_back({Trouble::ConnectFailed, Clock::now(), e.what()});
            pause(options.retryPause, stop);
            continue;
        }
        loop.routes.emplace_back();
        tools::RouteReport& report = loop.routes.back();
        // An upload's answer is known to have been an acknowledgement when the
        // report's count has grown by the next answer (or the route's end).
        long counted = 0;
        std::optional<Clock::time_point> lastUpload;
        auto settle = [&] {
            const long now = acknowledgedSoFar(report);
            if (lastUpload && now > counted)
                loop.acknowledged.push_back(*lastUpload);
            counted = now;
            lastUpload.reset();
        };
        tools::Handheld handheld;
        handheld.device = loop.device;
        tools::HandheldSession session(*connection, handheld,
                                       [&](const std::string& code, std::chrono::nanoseconds elapsed) {
                                           settle();
                                           const auto at = Clock::now();
                                           loop.requests.push_back({code, at, elapsed});
                                           if (code.starts_with("600"))
                                               lastUpload = at;
                                       });
        tools::RouteOptions route;
        route.collections = options.collections;
        route.points = options.points;
        route.keyReference = loop.keyReference;
        try {
            tools::runRoute(session, route, report);
            settle();
            ++loop.routesDone;
            continue;
        } catch (const tools::HandheldError& e) {
            settle();
            Trouble kind = Trouble::Other;
            if (e.failure() == tools::Failure::Connection)
                kind = e.timedOut() ? Trouble::TimedOut : Trouble::Closed;
            else if (e.failure() == tools::Failure::Refused)
                kind = Trouble::Refused;
            else if (e.failure() == tools::Failure::Unexpected)
                kind = Trouble::NotAcknowledged;
            loop.troubles.push_back({kind, Clock::now(), e.what()});
        } catch (const std::exception& e) {
            settle();
            loop.troubles.push_back({Trouble::Other, Clock::now(), e.what()});
        }
        pause(options.retryPause, stop);
    }
}

std::vector<RouteLoop> registerFleet(const test::TestDatabase& coleta, const std::string& prefix,
                                     int handhelds)
{
    std::vector<RouteLoop> loops(static_cast<size_t>(handhelds));
    std::vector<std::string> devices;
    for (int i = 0; i < handhelds; ++i) {
        RouteLoop& loop = loops[static_cast<size_t>(i)];
        loop.device = deviceName(prefix, i);
        loop.keyReference = std::to_string(i + 1);
        devices.push_back(loop.device);
    }
    registerDevices(coleta, devices);
    return loops;
}

std::vector<std::thread> startRoutes(std::vector<RouteLoop>& loops, const RouteLoopOptions& options,
                                     const std::atomic<bool>& stop)
{
    std::vector<std::thread> threads;
    for (RouteLoop& loop : loops)
        threads.emplace_back([&loop, options, &stop] { runRoutes(loop, options, stop); });
    return threads;
}

void joinAll(std::vector<std::thread>& threads)
{
    for (std::thread& t : threads)
        if (t.joinable())
            t.join();
}

void printTroubles(const char* heading, const std::vector<RouteLoop>& loops, Clock::time_point from,
                   Clock::time_point to)
{
    long counts[kTroubleKinds] = {};
    for (const RouteLoop& loop : loops)
        for (const TroubleEvent& t : loop.troubles)
            if (t.when >= from && t.when < to)
                ++counts[static_cast<int>(t.kind)];
    std::printf("%s", heading);
    for (int k = 0; k < kTroubleKinds; ++k)
        std::printf("%s %ld %s", k ? "," : "", counts[k], troubleName(static_cast<Trouble>(k)));
    std::printf("\n");
}

std::vector<tools::RouteReport> allRoutes(const std::vector<RouteLoop>& loops)
{
    std::vector<tools::RouteReport> routes;
    for (const RouteLoop& loop : loops)
        routes.insert(routes.end(), loop.routes.begin(), loop.routes.end());
    return routes;
}

double cpuSeconds(pid_t pid)
{
    if (pid <= 0)
        return -1;
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The command name, in parentheses, may hold blanks: fields count from
    // after its closing parenthesis, where field 3 (the state) begins.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14)
            utime = std::strtoull(field.c_str(), nullptr, 10);
        else if (n == 15)
            stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t firebirdPid()
{
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream comm(it->path() / "comm");
        std::string command;
        if (std::getline(comm, command) && command == "firebird")
            return static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
    }
    return 0;
}

} // namespace quelvor::bench
