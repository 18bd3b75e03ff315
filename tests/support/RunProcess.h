#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Runs a program to its end for end-to-end tests: stdin from /dev/null, its stdout and stderr
// kept apart in memory, extra environment. A program that hangs meets the test's own time-out.
namespace zemrik::test {

struct ProcessOptions {
    // Set these variables in the child's copy of our environment.
    std::vector<std::pair<std::string, std::string>> env;
    // When set, stderr goes to this file (a terminal, say) instead of ProcessResult::err.
    std::string stderrPath;
    // Called with the child's id once it runs, for a test that signals it.
    std::function<void(pid_t)> onStart;
};

struct ProcessResult {
    bool started = false;  // false: the program could not be run at all
    int exitCode = -1;     // valid when the child exited normally
    int signal = 0;        // the signal that ended it, else 0
    std::string out;
    std::string err;

    bool Exited(int code) const { return started && signal == 0 && exitCode == code; }
};

// args[0] is the program's path (no PATH search).
ProcessResult RunProcess(const std::vector<std::string>& args, const ProcessOptions& options = {});

}  // namespace zemrik::test
