#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/RunProcess.h"

// Runs the real zemrik-cli (and its sample maker) for the end-to-end tests of this folder.
namespace zemrik::test {

inline std::string CliPath() { return ZEMRIK_CLI_PATH; }

inline std::string MakeSamplesPath() {
    return (std::filesystem::path(ZEMRIK_CLI_PATH).parent_path() / "zemrik-make-samples").string();
}

// The locale is pinned so the default decimal separator is known.
inline ProcessResult RunCli(std::vector<std::string> args, ProcessOptions options = {}) {
    args.insert(args.begin(), CliPath());
    options.env.emplace_back("LC_ALL", "C");
    options.timeout = std::chrono::seconds(20);
    return RunProcess(args, options);
}

// What the test expects to see, printed when it does not.
inline std::string Describe(const ProcessResult& r) {
    return "started=" + std::to_string(r.started) + " exit=" + std::to_string(r.exitCode) +
           " signal=" + std::to_string(r.signal) + " timedOut=" + std::to_string(r.timedOut) + "\nstdout:\n" +
           r.out + "\nstderr:\n" + r.err + r.error;
}

}  // namespace zemrik::test
