#pragma once
// Shared by the fuzz targets. A target checks properties beyond "it did not
// crash"; a broken one aborts, so that libFuzzer keeps the input as a finding
// and the replay driver's test fails on it under GCC.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace quelvor::fuzz {

// Takes the input apart: a few leading bytes steer the target, the rest is
// the text under test. Past the end every read gives zero.
class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint64_t number(int bytes)
    {
        std::uint64_t n = 0;
        for (int i = 0; i < bytes; ++i)
            n = (n << 8) | byte();
        return n;
    }
    std::string_view rest()
    {
        const std::string_view out(reinterpret_cast<const char*>(m_data) + m_pos, m_size - m_pos);
        m_pos = m_size;
        return out;
    }
    bool empty() const { return m_pos >= m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace quelvor::fuzz
