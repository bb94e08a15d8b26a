// The line reader fed a byte stream in writes of any size: whatever the
// split, it gives the lines that the whole stream holds, in order, each
// within the limit, without its LF and without one CR before the LF; and it
// reports an over-long line no later than that line's end. The connection
// ends at the first over-long line, so the comparison stops there.

#include "server/LineBuffer.h"
#include "tests/fuzz/FuzzSupport.h"

#include <optional>
#include <string>
#include <vector>

using quelvor::server::LineBuffer;

namespace {

// What the whole stream holds, read at once: the lines, then nullopt for the
// first over-long one.
std::vector<std::optional<std::string>> expectedLines(std::string_view stream, size_t limit,
                                                      bool& tailTooLong)
{
    std::vector<std::optional<std::string>> out;
    size_t from = 0;
    for (;;) {
        const size_t lf = stream.find('\n', from);
        std::string_view line =
            stream.substr(from, lf == std::string_view::npos ? std::string_view::npos : lf - from);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (lf == std::string_view::npos) {
            tailTooLong = line.size() > limit;
            return out;
        }
        if (line.size() > limit) {
            out.push_back(std::nullopt);
            return out;
        }
        out.emplace_back(line);
        from = lf + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quelvor::fuzz::Input in(data, size);
    const size_t limit = in.byte() % 80 + 1;
    std::uint32_t split = in.byte() | 1u; // steers the sizes of the writes
    const std::string_view stream = in.rest();

    bool tailTooLong = false;
    const std::vector<std::optional<std::string>> expected = expectedLines(stream, limit, tailTooLong);

    LineBuffer buffer(limit);
    std::vector<std::optional<std::string>> got;
    bool ended = false;
    size_t at = 0;
    while (at < stream.size() && !ended) {
        split = split * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(stream.size() - at, (split >> 16) % 9 + 1);
        buffer.append(stream.substr(at, n));
        at += n;
        std::string line;
        for (;;) {
            const LineBuffer::Result r = buffer.next(line);
            if (r == LineBuffer::Result::NeedMore)
                break;
            if (r == LineBuffer::Result::TooLong) {
                got.push_back(std::nullopt);
                ended = true;
                break;
            }
            FUZZ_CHECK(line.size() <= limit);
            FUZZ_CHECK(line.find('\n') == std::string::npos);
            got.emplace_back(line);
        }
    }

    if (!expected.empty() && !expected.back()) {
        // An over-long line may be seen before its LF arrives, never later.
        FUZZ_CHECK(ended);
        FUZZ_CHECK(got.size() == expected.size());
        FUZZ_CHECK(std::equal(got.begin(), got.end(), expected.begin()));
    } else if (ended) {
        // Cut short before any LF of the stream: only the unfinished tail may
        // be too long, and every line before it must have come through.
        FUZZ_CHECK(tailTooLong);
        FUZZ_CHECK(got.size() == expected.size() + 1);
        FUZZ_CHECK(std::equal(expected.begin(), expected.end(), got.begin()));
    } else {
        FUZZ_CHECK(got == expected);
        FUZZ_CHECK(!tailTooLong);
    }
    return 0;
}
