// Replays inputs through a fuzz target without libFuzzer: every file in the
// directories (or files) named on the command line. Used by the tests to run
// the seed corpus and every reproducer a fuzzing run has left.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> inputs;
        if (fs::is_directory(argv[i])) {
            for (const auto& item : fs::directory_iterator(argv[i])) {
                if (item.is_regular_file() && item.path().filename() != ".gitkeep") inputs.push_back(item.path());
            }
        } else {
            inputs.emplace_back(argv[i]);
        }
        for (const auto& input : inputs) {
            std::ifstream in(input, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return 0;
}
