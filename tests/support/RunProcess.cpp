#include "RunProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace zemrik::test {
namespace {

std::vector<char*> PointerArray(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string Contents(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& args, const ProcessOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [name, value] : options.env) {
        std::erase_if(env, [&](const std::string& entry) { return entry.starts_with(name + "="); });
        env.push_back(name + "=" + value);
    }
    std::vector<std::string> argStrings = args;
    std::vector<char*> argv = PointerArray(argStrings);
    std::vector<char*> envp = PointerArray(env);

    // Memory files, not pipes: nothing to drain while the child runs.
    const int out = ::memfd_create("stdout", MFD_CLOEXEC);
    const int err = ::memfd_create("stderr", MFD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    pid_t pid = -1;
    ProcessResult result;
    result.started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (result.started) {
        if (options.onStart) options.onStart(pid);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    result.out = Contents(out);
    result.err = Contents(err);
    return result;
}

std::optional<bool> AsOrdinaryUser(const std::function<bool()>& check, uid_t user) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0))
            ::_exit(100);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 100)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

}  // namespace zemrik::test
