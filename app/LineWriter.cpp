#include "app/LineWriter.h"

#include "base/OperatorLog.h"
#include "base/RegionalFormat.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quelvor::app {

namespace {

bool isRegularFile(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

LineWriter::LineWriter(int fd, std::size_t maxLines)
    : m_fd(fd), m_regularFile(isRegularFile(fd)), m_maxLines(maxLines), m_thread([this] { run(); })
{
}

LineWriter::~LineWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_deadline = std::chrono::steady_clock::now() + drainFor;
    }
    m_changed.notify_all();
    m_thread.join();
}

void LineWriter::write(std::string line)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_pending.size() >= m_maxLines) {
            ++m_dropped;
            return;
        }
        m_pending.push_back(std::move(line));
    }
    m_changed.notify_all();
}

void LineWriter::write(std::vector<std::string> lines)
{
    if (lines.empty())
        return;
    {
        std::lock_guard lock(m_mutex);
        for (std::string& line : lines) {
            if (m_pending.size() >= m_maxLines) {
                ++m_dropped;
                continue;
            }
            m_pending.push_back(std::move(line));
        }
    }
    m_changed.notify_all();
}

bool LineWriter::flush(std::chrono::milliseconds within)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, within, [this] { return m_pending.empty() && !m_writing; });
}

void LineWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty() && m_stopping)
            return;
        std::string batch;
        if (m_dropped > 0) {
            batch = base::OperatorLog::formatLine(base::localNow(),
                                                  std::to_string(m_dropped) + " linhas do log descartadas") +
                    "\n";
            m_dropped = 0;
        }
        while (!m_pending.empty() && batch.size() < 65536) {
            batch += m_pending.front();
            batch += '\n';
            m_pending.pop_front();
        }
        m_writing = true;
        lock.unlock();
        const bool written = writeAll(batch);
        lock.lock();
        m_writing = false;
        m_changed.notify_all();
        if (!written) {
            m_pending.clear(); // stopping, and nothing reads: what is left is lost
            return;
        }
    }
}

bool LineWriter::writeAll(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        // Waits in short steps so that a stop is noticed; POLLOUT on a pipe
        // promises room for PIPE_BUF bytes, so a write of that much never blocks.
        pollfd fd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&fd, 1, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0) {
            std::lock_guard lock(m_mutex);
            if (m_stopping && std::chrono::steady_clock::now() >= m_deadline)
                return false;
            continue;
        }
        if (fd.revents & (POLLERR | POLLHUP | POLLNVAL))
            return false; // nobody will ever read it
        const std::size_t chunk =
            m_regularFile ? bytes.size() - done : std::min<std::size_t>(bytes.size() - done, PIPE_BUF);
        const ssize_t n = ::write(m_fd, bytes.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace quelvor::app
