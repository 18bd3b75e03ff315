// Runs a fuzz target once on every stored input, so the seeds and past crashes stay tests in
// builds without libFuzzer. Arguments are files or folders (read recursively).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool RunOne(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A fresh copy, so reading past the end is caught by the sanitizers.
    std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argc > 0 ? argv[0] : "replay");
        return 2;
    }
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error))
                if (entry.is_regular_file()) files.push_back(entry.path());
            if (error) {
                std::fprintf(stderr, "cannot list %s: %s\n", path.c_str(), error.message().c_str());
                return 1;
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                if (!RunOne(file)) return 1;
                ++runs;
            }
        } else if (std::filesystem::is_regular_file(path, error)) {
            if (!RunOne(path)) return 1;
            ++runs;
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    return 0;
}
