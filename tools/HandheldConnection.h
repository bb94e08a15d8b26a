#pragma once
// One handheld's connection to a Quelvor server, as the simulator and the load
// benchmark use it: a plain TCP socket, request lines out, reply lines in, and
// a time limit on the connect, on every write and on every read, so that a
// server that is down, silent or gone half way through an answer is reported
// and never waited for.
//
// Lines travel as the handhelds send them, in Windows-1252 bytes; this class
// neither encodes nor decodes. One object belongs to one thread.

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quelvor::tools {

// Why a conversation with the server failed; the simulator's exit code is the
// number of the kind.
enum class Failure
{
    Refused = 1,    // the server answered "9998" SEM PERMISSAO
    Connection = 2, // cannot connect, the server closed the connection, or a read timed out
    Usage = 3,      // the command line is wrong
    Unexpected = 4, // an answer that is not what a handheld expects (an upload not acknowledged)
    Route = 5,      // a route that the handheld cannot drive: no producers, or not one of its routes
};

class HandheldError : public std::runtime_error
{
public:
    HandheldError(Failure failure, const std::string& message, bool timedOut = false)
        : std::runtime_error(message), m_failure(failure), m_timedOut(timedOut)
    {
    }
    Failure failure() const { return m_failure; }
    // Connection failures only: nothing came within the time limit.
    bool timedOut() const { return m_timedOut; }

private:
    Failure m_failure;
    bool m_timedOut;
};

// How an answer ended.
enum class AnswerEnd
{
    EndLine, // "9999" and STX: the request passed the permission gate
    Refusal, // "9998", STX, "SEM PERMISSAO", STX: the session is not released
    Bare,    // "9999" without separator: the answer to a "0000" line
};

struct Answer
{
    std::vector<std::string> lines; // every reply line, without CR LF, the closing one included
    AnswerEnd end = AnswerEnd::EndLine;
    std::chrono::nanoseconds elapsed{}; // from the request's first byte sent to its last line read

    bool refused() const { return end == AnswerEnd::Refusal; }
    // The lines before the closing one.
    std::vector<std::string> body() const { return {lines.begin(), lines.end() - (lines.empty() ? 0 : 1)}; }
};

enum class Direction
{
    Sent,
    Received,
};

// Called for every line as it goes out or comes in, before the answer is
// complete, so that what arrived before a failure is seen too.
using LineObserver = std::function<void(Direction, const std::string& line)>;

class HandheldConnection
{
public:
    // Connects to host (a name or a numeric IPv4 or IPv6 address) and port.
    // Throws HandheldError(Connection) when no address answers within timeout.
    HandheldConnection(const std::string& host, int port, std::chrono::milliseconds timeout,
                       LineObserver observer = {});
    ~HandheldConnection();

    HandheldConnection(const HandheldConnection&) = delete;
    HandheldConnection& operator=(const HandheldConnection&) = delete;

    // Sends the line with CR LF and reads reply lines until one closes the
    // answer. Throws HandheldError(Connection) when the server ends the
    // connection, a write fails or no line arrives within the time limit;
    // the message says how many lines had come.
    Answer request(std::string_view line);

    // Sends the line with CR LF, nothing more.
    void send(std::string_view line);
    // The next reply line without CR LF; throws like request().
    std::string readLine();

    std::chrono::milliseconds timeout() const { return m_timeout; }

    // Acknowledge every segment at once instead of delaying the ACK (Linux
    // TCP_QUICKACK, renewed at every read). A handheld's system delays them;
    // the load benchmark turns this on to tell the server's own time from the
    // wait that a delayed ACK adds when the server writes an answer in
    // several small writes.
    void setQuickAck(bool on) { m_quickAck = on; }

private:
    void fillBuffer(std::chrono::steady_clock::time_point deadline);

    int m_fd = -1;
    std::string m_peer; // "host:port" for messages
    std::chrono::milliseconds m_timeout;
    LineObserver m_observer;
    std::string m_buffer; // bytes received and not yet returned as a line
    bool m_quickAck = false;
};

// Reply lines longer than this end the conversation: no reply of the server
// comes near it, and it keeps a runaway peer from filling the memory.
inline constexpr std::size_t kMaxReplyLineBytes = 1 << 20;

} // namespace quelvor::tools
