// The plain build's stand-in for libFuzzer's main: feeds the target every file
// of the folders it is given, so the seed corpus and the inputs that once
// failed run as an ordinary test without clang. The first folder (the seed
// corpus) must hold files; the regression folders may not exist yet.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS [REGRESSIONS...]\n", argv[0]);
        return 2;
    }
    size_t run = 0;
    for (int a = 1; a < argc; ++a) {
        const std::vector<fs::path> files = filesIn(argv[a]);
        if (a == 1 && files.empty()) {
            std::fprintf(stderr, "the seed corpus %s holds no files\n", argv[a]);
            return 1;
        }
        for (const fs::path& f : files) {
            std::ifstream in(f, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (!in.eof() && in.fail()) {
                std::fprintf(stderr, "cannot read %s\n", f.c_str());
                return 1;
            }
            std::printf("%s (%zu bytes)\n", f.c_str(), bytes.size());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++run;
        }
    }
    std::printf("%zu inputs ran\n", run);
    return 0;
}
