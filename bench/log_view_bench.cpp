// How the operator window holds up while handhelds flood the log: 20 handhelds
// download a catalogue of 10,000 producers at the same time, each reply line
// logged in full ("Devolvendo:3002..."), about 150 characters a line.
//
// While the connection threads log as fast as they can, the main thread's
// event loop runs the window (offscreen) and probes itself every 10 ms:
//  - a zero-timer tick and a posted event: how long a click would wait;
//  - a repaint of the log area: how long the window would look frozen.
// It prints the worst and the 99th-percentile delays, the time until the last
// line is in the log area, the longest single append on a connection thread
// and the memory the log area took.
//
// Usage: log_view_bench [handhelds] [lines per handheld] [pause per line, µs]
// With no pause the connection threads do nothing but log, which keeps every
// core busy: the worst case. A pause of some tens of microseconds stands for
// the database read and the socket write that come with each row in earnest.

#include "base/OperatorLog.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace quelvor;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// One producer row as the catalogue download logs it before sending it.
std::string replyLine(int handheld, int row)
{
    const char stx = '\x02';
    std::string s = "Devolvendo:3002";
    s += stx;
    s += std::to_string(100000 + row) + stx;
    s += "PRODUTOR RURAL " + std::to_string(row) + " DO APARELHO " + std::to_string(handheld) + stx;
    s += "-23,5512345" + std::string(1, stx) + "-51,4612345" + stx;
    s += "ESTRADA MUNICIPAL KM 12" + std::string(1, stx) + "LINHA SAO PEDRO" + stx;
    s += "RONDON" + std::string(1, stx) + "3" + stx + "1" + stx;
    s += std::to_string(row % 500) + stx + "1250,5" + stx;
    return s;
}

struct Stats
{
    std::vector<double> samples;
    void add(double v) { samples.push_back(v); }
    double worst() const { return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end()); }
    double percentile(int p) const
    {
        if (samples.empty())
            return 0;
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, s.size() * p / 100)];
    }
};

class PaintProbe : public QObject
{
public:
    Clock::time_point requested{};
    bool waiting = false;
    Stats* stats = nullptr;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && waiting) {
            waiting = false;
            stats->add(ms(Clock::now() - requested));
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int handhelds = argc > 1 ? std::stoi(argv[1]) : 20;
    const int linesEach = argc > 2 ? std::stoi(argv[2]) : 10000;
    const int pauseUs = argc > 3 ? std::stoi(argv[3]) : 0;
    const long expected = static_cast<long>(handhelds) * linesEach;

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    ui::MainWindow window(true);
    window.show();
    auto* memo = window.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    QApplication::processEvents();

    // The handhelds' lines are made before the clock starts and before the
    // memory baseline, so that both measure the log alone.
    std::vector<std::vector<std::string>> lines(handhelds);
    for (int h = 0; h < handhelds; ++h)
        for (int r = 0; r < linesEach; ++r)
            lines[h].push_back(replyLine(h, r));
    const long rssBefore = residentKiB();

    Stats timerDelay, postedDelay, paintDelay;
    PaintProbe paint;
    paint.stats = &paintDelay;
    memo->viewport()->installEventFilter(&paint);

    std::atomic<long long> longestAppendNs{0};
    std::vector<std::thread> threads;
    const auto start = Clock::now();
    Clock::time_point lastShown{};

    // Probes: every 10 ms a zero timer, a posted event and a repaint request.
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto t0 = Clock::now();
        QTimer::singleShot(0, [&timerDelay, t0] { timerDelay.add(ms(Clock::now() - t0)); });
        QMetaObject::invokeMethod(
            &probe, [&postedDelay, t0] { postedDelay.add(ms(Clock::now() - t0)); }, Qt::QueuedConnection);
        if (!paint.waiting) {
            paint.waiting = true;
            paint.requested = t0;
            memo->viewport()->update();
        }
    });

    QTimer finished;
    finished.setInterval(5);
    QObject::connect(&finished, &QTimer::timeout, [&] {
        if (memo->blockCount() >= expected) {
            lastShown = Clock::now();
            QApplication::quit();
        }
    });

    for (int h = 0; h < handhelds; ++h) {
        threads.emplace_back([&, h] {
            long long longest = 0;
            for (const std::string& line : lines[h]) {
                const auto t0 = Clock::now();
                base::OperatorLog::instance().append(line);
                const auto t1 = Clock::now();
                if (pauseUs > 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
                longest = std::max<long long>(longest, (t1 - t0).count());
            }
            long long seen = longestAppendNs.load();
            while (longest > seen && !longestAppendNs.compare_exchange_weak(seen, longest)) {
            }
        });
    }
    probe.start();
    finished.start();
    QApplication::exec();
    for (std::thread& t : threads)
        t.join();

    const long rssAfter = residentKiB();
    std::size_t lineLength = 0;
    for (const std::string& line : lines[0])
        lineLength += line.size();
    lineLength = lineLength / lines[0].size() + base::OperatorLog::formatLine(base::localNow(), "").size();

    std::printf(
        "handhelds: %d, lines each: %d, lines: %ld, about %zu characters a line, pause %d us a line\n",
        handhelds, linesEach, expected, lineLength, pauseUs);
    std::printf("all lines in the log area after: %.0f ms (%.0f lines/s)\n", ms(lastShown - start),
                expected / (ms(lastShown - start) / 1000.0));
    auto report = [](const char* what, const Stats& s) {
        std::printf("%-24s worst %6.1f ms, 90%% under %6.1f ms, median %6.1f ms (%zu probes)\n", what,
                    s.worst(), s.percentile(90), s.percentile(50), s.samples.size());
    };
    report("zero-timer tick delay:", timerDelay);
    report("posted event delay:", postedDelay);
    report("log area repaint delay:", paintDelay);
    std::printf("longest single append on a connection thread: %.2f ms\n", longestAppendNs.load() / 1e6);
    std::printf("memory taken by the log area: about %ld MiB for %ld lines (%ld bytes a line)\n",
                (rssAfter - rssBefore) / 1024, expected, (rssAfter - rssBefore) * 1024 / expected);
    std::printf("scroll bar at the end: %s\n",
                memo->verticalScrollBar()->value() == memo->verticalScrollBar()->maximum() ? "yes" : "no");
    return 0;
}
