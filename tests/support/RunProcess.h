#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
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

// Runs `check` in a forked child as an ordinary user, for the checks of refused access that root
// would pass for the wrong reason: root becomes `user` (nobody by default) first; anyone else
// stays who they are. What `check` returned; nullopt when root could not drop its rights or the
// child died.
inline constexpr uid_t Nobody = 65534;
std::optional<bool> AsOrdinaryUser(const std::function<bool()>& check, uid_t user = Nobody);

}  // namespace zemrik::test
