// Runs a fuzz target's entry function over every file of the directories
// named on the command line, so the kept corpus and the crash inputs are
// replayed by ctest with any compiler, libFuzzer or not.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Optional, as with libFuzzer: a target that needs set-up defines it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    std::size_t replayed = 0;
    for (int a = 1; a < argc; ++a) {
        const fs::path dir = argv[a];
        std::error_code error;
        if (!fs::is_directory(dir, error)) {
            std::fprintf(stderr, "%s: not a directory\n", dir.c_str());
            return 2;
        }
        // Sorted, so a failure always names the same first input.
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
            if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
            if (!in.eof() && in.fail()) {
                std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
                return 2;
            }
            // Named first, so the input that aborts is the last one printed.
            std::fprintf(stderr, "replaying %s\n", file.c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++replayed;
        }
    }
    // An empty corpus would make this test pass while checking nothing.
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs found to replay\n");
        return 1;
    }
    std::printf("replayed %zu inputs\n", replayed);
    return 0;
}
