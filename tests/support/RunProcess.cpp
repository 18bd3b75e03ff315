#include "RunProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace zemrik::test {
namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

bool MakePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return true;
}

std::vector<std::string> ChildEnvironment(const ProcessOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [name, value] : options.env) {
        std::erase_if(env, [&](const std::string& entry) { return entry.starts_with(name + "="); });
        if (value) env.push_back(name + "=" + *value);
    }
    return env;
}

std::vector<char*> PointerArray(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& args, const ProcessOptions& options) {
    ProcessResult result;
    if (args.empty()) {
        result.error = "no program given";
        return result;
    }
    Fd outRead, outWrite, errRead, errWrite;
    if (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite)) {
        result.error = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    std::vector<std::string> argStrings = args;
    std::vector<std::string> envStrings = ChildEnvironment(options);
    std::vector<char*> argv = PointerArray(argStrings);
    std::vector<char*> envp = PointerArray(envStrings);

    // Nothing between init and destroy can throw, so the actions need no guard object.
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        result.error = "posix_spawn_file_actions_init failed";
        return result;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), STDERR_FILENO);
    pid_t pid = -1;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        result.error = "posix_spawn " + args[0] + ": " + std::strerror(spawnError);
        return result;
    }
    result.started = true;
    if (options.onStart) options.onStart(pid);
    outWrite.Reset();
    errWrite.Reset();

    // A pidfd turns "the child has ended" into one more thing to poll, so a child that closes
    // its output but keeps running still meets the time-out.
    Fd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    Fd* sources[] = {&outRead, &errRead};
    std::string* sinks[] = {&result.out, &result.err};
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    while (outRead.Get() >= 0 || errRead.Get() >= 0 || pidFd.Get() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fds[] = {{outRead.Get(), POLLIN, 0}, {errRead.Get(), POLLIN, 0}, {pidFd.Get(), POLLIN, 0}};
        const int ready = ::poll(fds, 3, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                sources[i]->Reset();
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) pidFd.Reset();
    }

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.error = std::string("waitpid: ") + std::strerror(errno);
            return result;
        }
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace zemrik::test
