// The dispatcher splits each request line on STX and reads its fields by
// position. Whatever the line: the fields put back together with the
// separator give the line again, no field holds the separator, and there is
// one field more than separators, so a handler's field N exists exactly when
// the line has N separators (the handhelds end every field with STX, the
// last one included). Any other one-byte separator obeys the same rule.

#include "protocol/TConexao.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <string>

using quelvor::protocol::STX;
using quelvor::protocol::TConexao;

namespace {

void check(const std::string& line, const std::string& separator)
{
    const std::vector<std::string> fields = TConexao::Split(line, separator);
    if (line.empty()) {
        FUZZ_CHECK(fields.empty());
        return;
    }
    const size_t separators = static_cast<size_t>(std::count(line.begin(), line.end(), separator[0]));
    FUZZ_CHECK(fields.size() == separators + 1);
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        FUZZ_CHECK(fields[i].find(separator) == std::string::npos);
        if (i)
            joined += separator;
        joined += fields[i];
    }
    FUZZ_CHECK(joined == line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    check(line, std::string(1, STX));
    if (size > 0)
        check(line.substr(1), std::string(1, line[0]));
    return 0;
}
