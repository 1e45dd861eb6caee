// Replays every file of the seed folders given on the command line through the fuzz entry
// point, so builds without libFuzzer still run the hostile inputs as a regression test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++count;
        }
    }
    // Also the empty input and a few degenerate ones, which a seed folder easily forgets.
    const std::uint8_t zeros[512] = {};
    LLVMFuzzerTestOneInput(nullptr, 0);
    LLVMFuzzerTestOneInput(zeros, sizeof zeros);
    std::printf("replayed %zu seed inputs\n", count + 2);
    return 0;
}
