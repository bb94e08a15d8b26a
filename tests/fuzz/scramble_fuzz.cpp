// The scrambling of user names and passwords: for every sequence of 16-bit
// code units, unscrambling undoes scrambling and the other way round, the
// length stays, and a plain UTF-8 text comes back byte for byte.

#include "app/Scramble.h"
#include "base/TextConversion.h"
#include "tests/fuzz/FuzzSupport.h"

#include <string>

using namespace quelvor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    const std::u16string scrambled = app::Encript(units);
    FUZZ_CHECK(scrambled.size() == units.size());
    FUZZ_CHECK(app::Decript(scrambled) == units);
    FUZZ_CHECK(app::Encript(app::Decript(units)) == units);

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (base::isValidUtf8(bytes)) {
        const std::u16string plainScrambled = app::EncriptUtf8(bytes);
        FUZZ_CHECK(plainScrambled.size() == base::toUtf16(bytes).size());
        FUZZ_CHECK(app::DecriptUtf8(plainScrambled) == bytes);
    } else {
        // Whatever a hand-edited value unscrambles into is still UTF-8.
        FUZZ_CHECK(base::isValidUtf8(app::DecriptUtf8(units)));
    }
    return 0;
}
