// Runs a fuzz target once on every file of the given folders (recursively), so the seeds and
// past crashes stay tests in builds without libFuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
            if (entry.is_regular_file()) files.push_back(entry.path());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs in the folders given\n");
        return 1;
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        // Exactly the file's size, so reading past the end is caught by the sanitizers.
        std::vector<std::uint8_t> bytes(std::filesystem::file_size(file));
        std::ifstream in(file, std::ios::binary);
        if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
            return 1;
        LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
