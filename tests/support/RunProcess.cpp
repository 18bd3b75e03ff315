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
#include <ctime>

extern char** environ;

namespace zemrik::test {
namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() { Reset(); }
    int Get() const { return fd_; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd read, write;
};

bool MakePipe(Pipe& pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pipe.read = Fd(fds[0]);
    pipe.write = Fd(fds[1]);
    return true;
}

class FileActions {
public:
    FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    ~FileActions() {
        if (ok_) posix_spawn_file_actions_destroy(&actions_);
    }
    bool Ok() const { return ok_; }
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_{};
    bool ok_ = false;
};

std::vector<std::string> ChildEnvironment(const ProcessOptions& options) {
    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) env.emplace_back(*e);
    for (const auto& [name, value] : options.env) {
        std::erase_if(env, [&](const std::string& entry) {
            return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
                   entry[name.size()] == '=';
        });
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

// Writing to a child that has closed its stdin must not kill the test with SIGPIPE: block the
// signal for this thread while writing and swallow one that is left pending.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;
    ~SigpipeGuard() {
        if (!wasPending_) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, SIGPIPE);
                timespec zero{};
                sigtimedwait(&set, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }

private:
    sigset_t old_{};
    bool wasPending_ = false;
};

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& args, const ProcessOptions& options) {
    ProcessResult result;
    if (args.empty()) {
        result.error = "no program given";
        return result;
    }
    Pipe in, out, err;
    if (!MakePipe(in) || !MakePipe(out) || !MakePipe(err)) {
        result.error = std::string("pipe: ") + std::strerror(errno);
        return result;
    }
    FileActions actions;
    if (!actions.Ok()) {
        result.error = "posix_spawn_file_actions_init failed";
        return result;
    }
    if (options.stdinText) {
        posix_spawn_file_actions_adddup2(actions.Get(), in.read.Get(), STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(actions.Get(), out.write.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.Get(), err.write.Get(), STDERR_FILENO);
    if (!options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(actions.Get(), options.workingDirectory.c_str());

    std::vector<std::string> argStrings = args;
    std::vector<char*> argv = PointerArray(argStrings);
    std::vector<std::string> envStrings = ChildEnvironment(options);
    std::vector<char*> envp = PointerArray(envStrings);

    pid_t pid = -1;
    int spawnError =
        posix_spawn(&pid, argStrings[0].c_str(), actions.Get(), nullptr, argv.data(), envp.data());
    if (spawnError != 0) {
        result.error = "posix_spawn " + args[0] + ": " + std::strerror(spawnError);
        return result;
    }
    result.started = true;
    in.read.Reset();
    out.write.Reset();
    err.write.Reset();
    if (!options.stdinText) in.write.Reset();

    SigpipeGuard sigpipeGuard;
    const std::string stdinText = options.stdinText.value_or("");
    std::size_t written = 0;
    if (in.write.Get() >= 0 && stdinText.empty()) in.write.Reset();
    if (in.write.Get() >= 0) fcntl(in.write.Get(), F_SETFL, O_NONBLOCK);

    // A pidfd turns "the child has ended" into one more thing to poll, so a child that closes
    // its output but keeps running still meets the time-out.
    Fd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    bool childEnded = false;
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    while (out.read.Get() >= 0 || err.read.Get() >= 0 || (pidFd.Get() >= 0 && !childEnded)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd fds[4] = {{out.read.Get(), POLLIN, 0},
                         {err.read.Get(), POLLIN, 0},
                         {in.write.Get(), POLLOUT, 0},
                         {childEnded ? -1 : pidFd.Get(), POLLIN, 0}};
        int ready = ::poll(fds, 4, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                (i == 0 ? out.read : err.read).Reset();
            }
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            ssize_t n = ::write(in.write.Get(), stdinText.data() + written, stdinText.size() - written);
            if (n > 0) written += static_cast<std::size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == stdinText.size()) in.write.Reset();
        }
        if (fds[3].fd >= 0 && (fds[3].revents & POLLIN) != 0) {
            childEnded = true;
            in.write.Reset();  // nobody is left to read it
        }
    }
    in.write.Reset();

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
