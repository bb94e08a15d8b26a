#include "app/Scramble.h"

#include "base/TextConversion.h"

namespace quelvor::app {
namespace {

// The conversion back to 16 bits wraps: 0 - 1 gives 0xFFFF, 0xFFFF + 1 gives 0.
char16_t step(char16_t unit, int delta)
{
    return static_cast<char16_t>(unit + delta);
}

} // namespace

std::u16string Encript(std::u16string_view text)
{
    std::u16string out(text.rbegin(), text.rend());
    for (size_t i = 0; i < out.size(); ++i) {
        const bool evenPosition = (i + 1) % 2 == 0;
        out[i] = step(out[i], evenPosition ? +1 : -1);
    }
    return out;
}

std::u16string Decript(std::u16string_view text)
{
    // Position i of the result came from position n + 1 - i of the scrambled
    // text, which is even exactly when i has the parity opposite to n + 1:
    // undo there the step that Encript applied.
    const bool oddLength = text.size() % 2 == 1;
    std::u16string out(text.rbegin(), text.rend());
    for (size_t i = 0; i < out.size(); ++i) {
        const bool oddPosition = (i + 1) % 2 == 1;
        const bool add = oddLength == oddPosition;
        out[i] = step(out[i], add ? +1 : -1);
    }
    return out;
}

std::u16string EncriptUtf8(std::string_view plainUtf8)
{
    return Encript(base::toUtf16(plainUtf8));
}

std::string DecriptUtf8(std::u16string_view scrambled)
{
    return base::toUtf8(Decript(scrambled));
}

} // namespace quelvor::app
