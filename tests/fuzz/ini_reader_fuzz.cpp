// The INI reader and writer on any file: a read never returns more than the
// platform's buffer holds; a value written reads back unchanged, before and
// after the file goes through its bytes again; the other keys read the same
// as before the write; and a file read and written without a change reads
// the same as the original.

#include "app/IniFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <string>
#include <utility>
#include <vector>

using quelvor::app::IniFile;

namespace {

// Keys that quelvord reads, and (last) the one that the input names.
const std::vector<std::pair<std::u16string, std::u16string>> kKeys = {
    {u"Socket", u"Porta"},       {u"Base Coleta", u"Base"},    {u"Base Coleta", u"Usuario"},
    {u"Base Tarvell", u"Senha"}, {u"Inicialização", u"Tempo"}, {u"Servidor", u"TempoOcioso"},
};

const char16_t kNameLetters[] = u"abcXYZçÃ 0_";

std::u16string name(quelvor::fuzz::Input& in)
{
    std::u16string out;
    const int length = in.byte() % 6 + 1;
    for (int i = 0; i < length; ++i)
        out += kNameLetters[in.byte() % (sizeof kNameLetters / sizeof kNameLetters[0] - 1)];
    // Names are trimmed on reading, so none starts or ends with a blank.
    if (out.front() == u' ')
        out.front() = u'a';
    if (out.back() == u' ')
        out.back() = u'b';
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quelvor::fuzz::Input in(data, size);
    const std::u16string section = name(in);
    const std::u16string key = name(in);
    const std::string_view bytes = in.rest();

    const IniFile original = IniFile::parse(bytes);
    auto keys = kKeys;
    keys.emplace_back(section, key);
    std::vector<std::optional<std::u16string>> before;
    for (const auto& [s, k] : keys) {
        before.push_back(original.readString(s, k));
        if (before.back())
            FUZZ_CHECK(before.back()->size() <= IniFile::kMaxValueLength);
    }

    // Unchanged, through its bytes again.
    const IniFile same = IniFile::parse(original.serialize());
    for (size_t i = 0; i < keys.size(); ++i)
        FUZZ_CHECK(same.readString(keys[i].first, keys[i].second) == before[i]);

    // A value made of the file's own text, as 16-bit code units.
    std::u16string value;
    for (size_t i = 0; i + 1 < bytes.size() && value.size() < IniFile::kMaxValueLength; i += 2)
        value.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    IniFile written = original;
    written.writeString(section, key, value);
    FUZZ_CHECK(written.readString(section, key) == value);
    const IniFile reread = IniFile::parse(written.serialize());
    FUZZ_CHECK(reread.readString(section, key) == value);
    // The fuzzed names use letters that no key of quelvord has, so none of
    // those keys was the one written.
    for (size_t i = 0; i + 1 < keys.size(); ++i)
        FUZZ_CHECK(reread.readString(keys[i].first, keys[i].second) == before[i]);
    return 0;
}
