// Runs a fuzz target over the files it is given (or the files of the folders it is given), once
// each, without libFuzzer: the test suite replays the committed corpus this way, so every input
// that once broke a parser keeps being checked by the ordinary build.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg))
        {
            for (const auto &entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        }
        else
        {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty())
    {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    for (const auto &file : files)
    {
        std::ifstream in(file, std::ios::binary);
        if (!in)
        {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An exact-size copy, so a read past the input shows under AddressSanitizer.
        std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
        input.shrink_to_fit();
        std::fprintf(stderr, "%s (%zu bytes)\n", file.filename().c_str(), input.size());
        LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    }
    std::fprintf(stderr, "%zu inputs passed\n", files.size());
    return 0;
}
