// Runs every file of the given folders through one fuzz target's entry
// point, built with the ordinary compiler: the seeds and every input that
// ever found a fault stay ordinary test cases. A fault aborts the run; the
// file being run is printed first so the failing one is named.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    int nRun = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (!fs::is_directory(argv[i], error)) {
            std::printf("no folder %s: nothing to run there\n", argv[i]);
            continue;
        }
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.'
                && entry.path().extension() != ".md")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", file.c_str());
                return 1;
            }
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
            std::printf("%s (%zu bytes)\n", file.c_str(), bytes.size());
            std::fflush(stdout);
            // A copy of exactly the file's size, so that reading past it is
            // caught where the sanitizers are on.
            std::vector<uint8_t> data(bytes.begin(), bytes.end());
            LLVMFuzzerTestOneInput(data.empty() ? nullptr : data.data(), data.size());
            ++nRun;
        }
    }
    std::printf("%d inputs ran without a finding\n", nRun);
    return nRun > 0 ? 0 : 1;
}
