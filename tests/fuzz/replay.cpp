// Runs a fuzz target once over each input given, or each file of a directory
// given, without libFuzzer: ctest replays the checked-in corpora this way,
// with the Linux build's own compiler and sanitizers. A broken rule ends the
// run with abort(), so each input is named before it runs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; i++) {
        if (!std::filesystem::is_directory(argv[i]))
            inputs.push_back(argv[i]);
        else
            for (const auto &entry : std::filesystem::directory_iterator(argv[i]))
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const std::string &input : inputs) {
        std::fprintf(stderr, "input %s\n", input.c_str());
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::perror(input.c_str());
            return 1;
        }
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        LLVMFuzzerTestOneInput((const uint8_t *)bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs, every rule kept\n", inputs.size());
    return 0;
}
