// Replays a fuzz target's corpus without libFuzzer: every file in the folders named on the
// command line (and every file named), in name order, goes once to LLVMFuzzerTestOneInput.
// An input that crashes or trips a sanitizer fails the run, and the name of the input being
// read is written before it is read, so an input that once broke a reader is tried again on
// every build. Runs with the user's folders in a temporary folder, as every test does.
#include "tests/support/temporary_folder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    sorvik::testing::IsolatedHome home;
    std::vector<std::filesystem::path> inputs;
    for (int index = 1; index < argc; ++index) {
        std::filesystem::path argument = argv[index];
        if (!std::filesystem::is_directory(argument)) {
            inputs.push_back(argument);
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(argument)) {
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "No inputs to replay.\n");
        return 1;
    }
    for (const auto& path : inputs) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        std::ifstream stream(path, std::ios::binary);
        std::string data(
            (std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        if (!stream.good() && !stream.eof()) {
            std::fprintf(stderr, "Cannot read %s\n", path.c_str());
            return 1;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    }
    std::printf("Replayed %zu inputs.\n", inputs.size());
    return 0;
}
