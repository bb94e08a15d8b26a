#pragma once
// Log lines for a descriptor that may stop being read (quelvord's standard
// output piped into a program that hangs, or a terminal on hold): a thread of
// its own writes them, so that the main thread, and SIGTERM with it, never
// waits on the descriptor. The queue is bounded: when it is full a line is
// dropped and counted, and "N linhas do log descartadas" is written before
// the next line that gets through.
//
// write() may be called from any thread and never blocks on the descriptor.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quelvor::app {

class LineWriter
{
public:
    // `fd` stays open and owned by the caller; each line gets a LF.
    explicit LineWriter(int fd, std::size_t maxLines = 20000);
    // Writes what is queued for at most `drainFor`, then stops.
    ~LineWriter();

    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    void write(std::string line);
    // Several lines in their order, with one lock and one wake-up of the
    // writer's thread (the lines of a catalogue's rows come by the hundred).
    void write(std::vector<std::string> lines);
    // Waits until every queued line was written, or the time is up; false then.
    bool flush(std::chrono::milliseconds within);

    std::chrono::milliseconds drainFor{1000};

private:
    void run();
    // Writes all of `bytes`, waiting for room; false once stopping and the
    // descriptor still takes nothing.
    bool writeAll(const std::string& bytes);

    const int m_fd;
    // A regular file takes any amount at once; a pipe or a terminal is
    // written in PIPE_BUF steps so that a write never blocks.
    const bool m_regularFile;
    const std::size_t m_maxLines;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_pending;                // guarded by m_mutex
    std::size_t m_dropped = 0;                        // guarded by m_mutex
    bool m_writing = false;                           // guarded by m_mutex: a batch is being written
    bool m_stopping = false;                          // guarded by m_mutex
    std::chrono::steady_clock::time_point m_deadline; // guarded by m_mutex: set when stopping
    std::thread m_thread;                             // last: starts once the rest is ready
};

} // namespace quelvor::app
