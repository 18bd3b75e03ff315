#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/RunProcess.h"

// Runs the real zemrik-cli (and its sample maker) for the tests that need the program itself.
namespace zemrik::test {

inline std::string CliPath() { return ZEMRIK_CLI_PATH; }

inline std::string MakeSamplesPath() {
    return (std::filesystem::path(ZEMRIK_CLI_PATH).parent_path() / "zemrik-make-samples").string();
}

// The locale is pinned so the default decimal separator is known.
inline ProcessResult RunCli(std::vector<std::string> args, ProcessOptions options = {}) {
    args.insert(args.begin(), CliPath());
    options.env.emplace_back("LC_ALL", "C");
    return RunProcess(args, options);
}

// What the test expects to see, printed when it does not.
inline std::string Describe(const ProcessResult& r) {
    return "exit=" + std::to_string(r.exitCode) + " signal=" + std::to_string(r.signal) + "\nstdout:\n" +
           r.out + "\nstderr:\n" + r.err;
}

}  // namespace zemrik::test
