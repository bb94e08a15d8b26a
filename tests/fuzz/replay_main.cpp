// Replays a fuzz target's corpus without libFuzzer, so that every build (GCC
// included) runs the seeds and the findings kept in the repository. Each
// argument is a file or a folder of files; a folder without files fails, so
// that a seed generator that stopped writing is noticed.

#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

static void replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " FILE|FOLDER...\n";
        return 2;
    }
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (!fs::is_directory(arg)) {
            replay(arg);
            ++replayed;
            continue;
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(arg))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        if (files.empty()) {
            std::cerr << arg << ": no inputs\n";
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
            replay(file);
        replayed += files.size();
    }
    std::cout << replayed << " inputs replayed, every property held\n";
    return 0;
}
