#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Runs a program to its end: stdin from /dev/null, stdout and stderr kept in memory.
namespace zemrik::test {

struct ProcessOptions {
    std::vector<std::pair<std::string, std::string>> env;  // set in the child's environment
    std::function<void(pid_t)> onStart;                    // for a test that signals the child
};

struct ProcessResult {
    bool started = false;
    int exitCode = -1;  // when it exited normally
    int signal = 0;     // that ended it
    std::string out;
    std::string err;

    bool Exited(int code) const { return started && signal == 0 && exitCode == code; }
};

ProcessResult RunProcess(const std::vector<std::string>& args /* [0]: the program's path */,
                         const ProcessOptions& options = {});

}  // namespace zemrik::test
