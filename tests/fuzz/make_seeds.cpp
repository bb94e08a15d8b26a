// Writes the fuzz targets' seed corpora from the request lines that the
// handheld simulator sends on a whole route, so that the fuzzers start from
// what handhelds really send and the seeds follow the simulator when the
// line format changes. Usage: make_fuzz_seeds FOLDER (one subfolder per
// target, written again from scratch).

#include "tools/HandheldLines.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quelvor::tools;

namespace {

std::vector<Fields> routeRequests()
{
    Handheld handheld;
    Handheld refused;
    refused.device = "DEMO-02";
    std::vector<Fields> out{handshakeFields(handheld), handshakeFields(refused)};
    for (const std::string& code : kCatalogueCodes) {
        out.push_back(catalogueFields(handheld, code));
        out.push_back(catalogueFields(handheld, code, "12/10/2026 06:00:00"));
    }
    out.push_back(keyFields(handheld, "CARGA"));
    Load load;
    load.code = "1";
    load.localId = "3"; // unlike every other identifier, so that an echo of the wrong field shows
    load.date = "12/10/2026";
    load.start = "12/10/2026 06:00:00";
    out.push_back(loadFields(handheld, load));
    load.end = "12/10/2026 11:30:00";
    load.finished = "S";
    load.total = "1562.5";
    load.collections = "5";
    out.push_back(loadFields(handheld, load));
    Collection collection;
    collection.loadCode = "1";
    collection.localId = "2";
    collection.when = "12/10/2026 07:15:00";
    out.push_back(collectionFields(handheld, collection));
    collection.collected = "0";
    collection.reason = "3";
    collection.acidity = "Positivo";
    out.push_back(collectionFields(handheld, collection));
    TrackingPoint point;
    point.when = "12/10/2026 07:20:00";
    out.push_back(trackingFields(handheld, point));
    return out;
}

class Writer
{
public:
    explicit Writer(fs::path folder) : m_folder(std::move(folder))
    {
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void add(const std::string& bytes)
    {
        if (!m_seen.insert(bytes).second)
            return;
        std::ofstream(m_folder / ("seed-" + std::to_string(m_seen.size())), std::ios::binary) << bytes;
    }

private:
    fs::path m_folder;
    std::set<std::string> m_seen;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " FOLDER\n";
        return 2;
    }
    const fs::path root = argv[1];
    const std::vector<Fields> requests = routeRequests();
    std::vector<std::string> lines;
    std::set<std::string> values;
    for (const Fields& fields : requests) {
        lines.push_back(requestLine(fields));
        values.insert(fields.begin(), fields.end());
    }

    // The line reader: two steering bytes (the limit, the split of the
    // writes), then the route as one stream, with LF and CR LF line ends.
    Writer reader(root / "line_reader");
    std::string lf, crlf;
    for (const std::string& line : lines) {
        lf += line + "\n";
        crlf += line + "\r\n";
        reader.add(std::string("\xff\x01", 2) + line + "\r\n");
    }
    reader.add(std::string("\xff\x07", 2) + lf);
    reader.add(std::string("\xff\x33", 2) + crlf);
    reader.add(std::string("\x10\x05", 2) + crlf);

    // The dispatcher's split: the lines as they arrive.
    Writer split(root / "split");
    for (const std::string& line : lines)
        split.add(line);

    // The bare values and the scrambling: every field value of the route.
    Writer bare(root / "bare_value");
    Writer scramble(root / "scramble");
    for (const std::string& value : values) {
        bare.add(value);
        scramble.add(value);
    }
    scramble.add("KORVA");
    scramble.add("##738460");

    // The row encoding: a kind byte and then the value's bytes, for each of
    // the 13 kinds with every field value of the route.
    Writer rows(root / "row_encoding");
    for (int kind = 0; kind < 14; ++kind)
        for (const std::string& value : values)
            rows.add(std::string(1, static_cast<char>(kind)) + value);

    // The INI reader: the configuration that the demo writes, then the same
    // with field values of the route as the values.
    Writer ini(root / "ini_reader");
    const std::string demo =
        "[Socket]\nPorta=7010\n[Base Tarvell]\nBase=localhost:/srv/TARVELL.FDB\n"
        "Usuario=@WQPJ\nSenha=/73928\"$\nIntegra=S\n[Inicialização]\nTempo=0\n"
        "[Base Coleta]\nBase=localhost:/srv/COLETA.FDB\nUsuario=@WQPJ\nSenha=/73928\"$\n";
    ini.add(std::string("\x01\x01\x01", 3) + demo);
    std::string crlfDemo;
    for (char c : demo)
        crlfDemo += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ini.add(std::string("\x02\x02\x02", 3) + "\xEF\xBB\xBF" + crlfDemo);
    size_t n = 0;
    for (const std::string& value : values)
        ini.add(std::string("\x03\x01\x02", 3) + "[Base Coleta]\nUsuario=" + value +
                "\n[Servidor]\nTempoOcioso=" + std::to_string(n++) + "\n");

    // The request handler: 12 steering bytes (flags, catalogue rows, the
    // reply lines before the handheld goes away, the failing statements, the
    // answers' seed), then a whole session, one request per line.
    Writer handler(root / "handler");
    auto steering = [](std::uint8_t flags, std::uint8_t rows, std::uint8_t stop, std::uint64_t failing) {
        std::string out{static_cast<char>(flags), static_cast<char>(rows), static_cast<char>(stop)};
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>((failing >> shift) & 0xff);
        return out + '\x2a';
    };
    handler.add(steering(0, 3, 0, 0) + lf);                     // opened by the handshake
    handler.add(steering(1 | 16 | 32, 5, 0, 0) + crlf);         // ERP, quality limits, status
    handler.add(steering(4, 2, 0, 0) + lf);                     // the device is not released
    handler.add(steering(8, 2, 0, 0) + "0000\n" + lf);          // no parameters row
    handler.add(steering(0, 4, 0, ~std::uint64_t{0}) + lf);     // every statement fails
    handler.add(steering(0, 4, 0, 0x4924924924924920ULL) + lf); // some fail
    handler.add(steering(64, 6, 9, 0) + lf);                    // the handheld goes away
    for (const std::string& line : lines)
        handler.add(steering(2 | 128, 7, 0, 0) + line + "\n"); // a released session, awkward rows

    std::cout << "seeds written under " << root << "\n";
    return 0;
}
