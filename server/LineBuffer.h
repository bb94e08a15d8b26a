#pragma once
// Splits received bytes into request lines: LF ends a line, a CR just before
// the LF is dropped, and a line longer than the limit is an error rather than
// a loop. Bytes after a line stay for the next one.

#include <optional>
#include <string>
#include <string_view>

namespace quelvor::server {

class LineBuffer
{
public:
    explicit LineBuffer(size_t maxLineBytes) : m_max(maxLineBytes) {}

    void append(std::string_view bytes) { m_data.append(bytes); }

    enum class Result
    {
        Line,
        NeedMore,
        TooLong
    };
    // Takes the next complete line out of the buffer into `line` (raw bytes).
    Result next(std::string& line);

private:
    size_t m_max;
    std::string m_data;
    size_t m_scanned = 0; // bytes already known to hold no LF
};

} // namespace quelvor::server
