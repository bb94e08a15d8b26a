// How quelvord serves its handhelds while a crowd of connections that do
// nothing useful holds its threads and descriptors: quelvord is started with a
// low descriptor limit (hard and soft, default 1024), a few handhelds
// (default 4) send requests on their connections (the users catalogue and a
// tracking point, over and over), first alone, then with 1,000 idle
// connections and some slow senders (a byte every few seconds, a line that
// never ends) connected. Prints
//  - the handhelds' median and 99th-percentile request time and their
//    failures without and with the crowd;
//  - how many of the crowd's connections were made and how many the server
//    closed, and whether a new handheld still gets its handshake through,
//    with the crowd and once half the idle crowd has left;
//  - quelvord's RSS, threads and descriptors without and with the crowd;
//  - the time from SIGTERM to quelvord's exit with the crowd connected.
//
// Usage: exhaustion_bench [--idle N] [--slow N] [--slow-interval S] [--handhelds N]
//                         [--nofile N] [--phase S] [--port N] [--quelvord PATH]
// --nofile 0 leaves quelvord this process's limit. Exit status 0 when the
// handhelds were served with the crowd too (no failure) and quelvord stopped
// by itself within 20 s.

#include "bench/BenchSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace quelvor;
using bench::Clock;

namespace {

struct Options
{
    int idle = 1000;
    int slow = 20;
    int slowInterval = 3;
    int handhelds = 4;
    int nofile = 1024;
    int phaseSeconds = 10;
    bench::ServerChoice server;
};

Options parseOptions(int argc, char** argv)
{
    Options o;
    bench::CommandLine line("exhaustion_bench");
    line.whole("--idle", o.idle, 0, 100000);
    line.whole("--slow", o.slow, 0, 10000);
    line.whole("--slow-interval", o.slowInterval, 1, 3600, "S");
    line.whole("--handhelds", o.handhelds, 1, 1000);
    line.whole("--nofile", o.nofile, 0, 1 << 20);
    line.whole("--phase", o.phaseSeconds, 1, 3600, "S");
    line.server(o.server);
    line.parse(argc, argv);
    return o;
}

// A plain connection to the server, or -1.
int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// The connections of the crowd that the server has closed (readable with
// nothing to read, or reset).
long closedByServer(const std::vector<int>& fds)
{
    std::vector<pollfd> p;
    for (int fd : fds)
        p.push_back({fd, POLLIN, 0});
    ::poll(p.data(), p.size(), 0);
    long closed = 0;
    for (const pollfd& q : p) {
        if (!(q.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char c;
        if (::recv(q.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0)
            ++closed;
    }
    return closed;
}

// Handhelds that keep one connection and ask the same two requests over and
// over; the samples go to the phase that is current when they come.
class SteadyHandhelds
{
public:
    SteadyHandhelds(int count, int port, const std::vector<std::string>& devices)
    {
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back(
                [this, port, device = devices[static_cast<size_t>(i)]] { run(port, device); });
    }
    ~SteadyHandhelds() { stop(); }

    void setPhase(int phase)
    {
        std::lock_guard lock(m_lock);
        m_phase = phase;
    }
    void stop()
    {
        m_stop = true;
        for (std::thread& t : m_threads)
            if (t.joinable())
                t.join();
    }

    struct Phase
    {
        std::vector<std::chrono::nanoseconds> times;
        long failures = 0;
        std::string firstFailure;
    };
    Phase phase(int i)
    {
        std::lock_guard lock(m_lock);
        return m_phases[i];
    }

private:
    void run(int port, const std::string& device)
    {
        int point = 0;
        while (!m_stop) {
            try {
                tools::HandheldConnection connection("127.0.0.1", port, std::chrono::seconds(10));
                tools::Handheld handheld;
                handheld.device = device;
                tools::HandheldSession session(connection, handheld,
                                               [this](const std::string&, std::chrono::nanoseconds t) {
                                                   std::lock_guard lock(m_lock);
                                                   m_phases[m_phase].times.push_back(t);
                                               });
                session.handshake();
                while (!m_stop) {
                    session.catalogue("1003");
                    tools::TrackingPoint p;
                    p.localId = std::to_string(++point);
                    p.when = tools::timestampText(std::chrono::system_clock::now());
                    session.upload(tools::trackingFields(handheld, p));
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            } catch (const std::exception& e) {
                std::lock_guard lock(m_lock);
                Phase& phase = m_phases[m_phase];
                if (phase.failures++ == 0)
                    phase.firstFailure = e.what();
            }
            if (!m_stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    int m_phase = 0;
    Phase m_phases[3]; // alone, with the crowd, after
    std::vector<std::thread> m_threads;
};

void printPhase(const char* name, SteadyHandhelds::Phase phase)
{
    std::sort(phase.times.begin(), phase.times.end());
    std::printf("%s: %zu requests, median %.2f ms, p99 %.2f ms, max %.2f ms, %ld failures%s%s\n", name,
                phase.times.size(), bench::ms(bench::percentile(phase.times, 0.5)),
                bench::ms(bench::percentile(phase.times, 0.99)),
                bench::ms(phase.times.empty() ? std::chrono::nanoseconds{} : phase.times.back()),
                phase.failures, phase.failures ? ", the first: " : "",
                phase.firstFailure.substr(0, 200).c_str());
}

} // namespace

namespace {

int run(int argc, char** argv)
{
    const Options o = parseOptions(argc, argv);
    const unsigned long own = bench::raiseOwnDescriptorLimit();
    std::printf("exhaustion bench: %d handhelds; a crowd of %d idle connections and %d slow senders (a byte "
                "every %d s); quelvord's descriptor limit %s; %d s a phase\n",
                o.handhelds, o.idle, o.slow, o.slowInterval,
                o.nofile ? std::to_string(o.nofile).c_str() : "as this process's", o.phaseSeconds);
    if (own < static_cast<unsigned long>(o.idle + o.slow + o.handhelds + 64))
        std::printf("this process may open only %lu descriptors: the crowd will be smaller\n", own);

    test::TestDatabase coleta(test::TestDatabase::Kind::Coleta, true);
    std::vector<std::string> devices;
    for (int i = 0; i < o.handhelds + 1; ++i)
        devices.push_back(bench::deviceName("CROWD", i));
    bench::registerDevices(coleta, devices);
    const base::Settings settings = bench::serverSettings(coleta, o.server.port);
    test::QuelvordProcess::Options serverOptions;
    serverOptions.descriptorLimit = static_cast<unsigned long>(o.nofile);
    test::QuelvordProcess server(o.server.quelvord, settings, serverOptions);
    const int port = settings.edtPorta;

    SteadyHandhelds handhelds(o.handhelds, port, devices);
    std::this_thread::sleep_for(std::chrono::seconds(o.phaseSeconds));
    const bench::ProcessFigures alone = bench::processFigures(server.pid());

    // The crowd.
    const auto crowdBegan = Clock::now();
    std::vector<int> idle, slow;
    long idleFailed = 0, slowFailed = 0;
    for (int i = 0; i < o.idle; ++i) {
        const int fd = connectTo(port);
        fd >= 0 ? idle.push_back(fd) : void(++idleFailed);
    }
    for (int i = 0; i < o.slow; ++i) {
        const int fd = connectTo(port);
        fd >= 0 ? slow.push_back(fd) : void(++slowFailed);
    }
    const double crowdSeconds = bench::seconds(Clock::now() - crowdBegan);
    handhelds.setPhase(1);
    std::atomic<bool> slowStop{false};
    std::thread slowSender([&] {
        const std::string line = "1001\x02"
                                 "SLOW-01\x02-29.1\x02-51.9\x02" +
                                 std::string(200, 'x');
        size_t at = 0;
        while (!slowStop) {
            for (int fd : slow)
                ::send(fd, &line[at % line.size()], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ++at;
            for (int waited = 0; waited < o.slowInterval * 10 && !slowStop; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    std::this_thread::sleep_for(std::chrono::seconds(1));
    // A handheld arriving now: does its handshake get through?
    auto arrive = [&] {
        const auto t0 = Clock::now();
        try {
            tools::HandheldConnection connection("127.0.0.1", port, std::chrono::seconds(10));
            tools::Handheld handheld;
            handheld.device = devices.back();
            tools::HandheldSession session(connection, handheld);
            session.handshake();
            return "handshake in " + std::to_string(bench::ms(Clock::now() - t0)).substr(0, 6) + " ms";
        } catch (const std::exception& e) {
            return "failed after " + std::to_string(bench::ms(Clock::now() - t0)).substr(0, 7) +
                   " ms: " + std::string(e.what()).substr(0, 200);
        }
    };
    const std::string arrival = arrive();
    std::this_thread::sleep_for(std::chrono::seconds(o.phaseSeconds) - std::chrono::seconds(1));
    const bench::ProcessFigures crowded = bench::processFigures(server.pid());
    const long idleClosed = closedByServer(idle), slowClosed = closedByServer(slow);
    handhelds.setPhase(2);
    handhelds.stop();
    const size_t crowdSize = idle.size();

    // Half the idle crowd leaves: are new handhelds let in again?
    for (size_t i = idle.size() / 2; i < idle.size(); ++i)
        ::close(idle[i]);
    const size_t left = idle.size() - idle.size() / 2;
    idle.resize(idle.size() / 2);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string arrivalAfter = arrive();
    // And back, for the stop with the whole crowd connected.
    while (idle.size() < crowdSize) {
        const int fd = connectTo(port);
        if (fd < 0)
            break;
        idle.push_back(fd);
    }

    std::printf("crowd: %zu idle connections made (%ld failed) in %.2f s, %zu slow senders (%ld failed); "
                "closed by the server by the end: %ld idle, %ld slow\n",
                idle.size(), idleFailed, crowdSeconds, slow.size(), slowFailed, idleClosed, slowClosed);
    std::printf("a handheld arriving with the crowd: %s\n", arrival.c_str());
    std::printf("a handheld arriving after %zu of the idle connections left: %s\n", left,
                arrivalAfter.c_str());
    const SteadyHandhelds::Phase without = handhelds.phase(0), with = handhelds.phase(1);
    printPhase("without the crowd", without);
    printPhase("with the crowd   ", with);
    std::printf("quelvord without the crowd: %s\nquelvord with the crowd:    %s\n",
                bench::describe(alone).c_str(), bench::describe(crowded).c_str());
    bench::printLogErrors(server);

    const auto stopping = Clock::now();
    server.signal(SIGTERM);
    const int exitStatus = server.wait(std::chrono::seconds(20));
    const double stopSeconds = bench::seconds(Clock::now() - stopping);
    std::printf("quelvord stopped %s after %.2f s (SIGTERM to exit, the crowd connected)\n",
                exitStatus < 0 ? "only by SIGKILL" : ("with status " + std::to_string(exitStatus)).c_str(),
                stopSeconds);
    slowStop = true;
    slowSender.join();
    for (int fd : idle)
        ::close(fd);
    for (int fd : slow)
        ::close(fd);
    return with.failures == 0 && !with.times.empty() && exitStatus == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    return bench::runGuarded("exhaustion_bench", [&] { return run(argc, argv); });
}
