#include "server/LineBuffer.h"

namespace quelvor::server {

LineBuffer::Result LineBuffer::next(std::string& line)
{
    const size_t lf = m_data.find('\n', m_scanned);
    if (lf == std::string::npos) {
        m_scanned = m_data.size();
        // A CR may still be followed by its LF, so it does not count yet.
        size_t pending = m_data.size();
        if (pending && m_data.back() == '\r')
            --pending;
        if (pending > m_max) {
            m_data.clear();
            m_scanned = 0;
            return Result::TooLong;
        }
        return Result::NeedMore;
    }
    size_t end = lf;
    if (end > 0 && m_data[end - 1] == '\r')
        --end;
    if (end > m_max) {
        m_data.erase(0, lf + 1);
        m_scanned = 0;
        return Result::TooLong;
    }
    line.assign(m_data, 0, end);
    m_data.erase(0, lf + 1);
    m_scanned = 0;
    return Result::Line;
}

} // namespace quelvor::server
