#include "PtySim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace zemrik::test {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

SimProcess::~SimProcess() {
    if (pid_ > 0 && !exit_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    CloseFd(stdinFd_);
    CloseFd(stdoutFd_);
}

bool SimProcess::Start(const std::string& simPath, const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout, const std::string& stderrPath) {
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        error_ = "pipe: " + std::string(std::strerror(errno));
        for (int& fd : in) CloseFd(fd);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!stderrPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    // The child starts with default signal handling and nothing blocked, whatever the test runner set.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argStrings{simPath};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    int rc = ::posix_spawn(&pid_, simPath.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    stdoutFd_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        error_ = "posix_spawn " + simPath + ": " + std::strerror(rc);
        return false;
    }

    // The first line is the terminal's path; the emulator prints it only once the terminal is ready.
    const auto deadline = Clock::now() + timeout;
    std::string line;
    for (;;) {
        pollfd p{stdoutFd_, POLLIN, 0};
        int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            error_ = "no terminal path from zemrik-sim within the time-out";
            return false;
        }
        char c;
        ssize_t n = ::read(stdoutFd_, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = "zemrik-sim ended before printing its terminal path";
            return false;
        }
        if (c == '\n') break;
        line += c;
    }
    slavePath_ = line;
    return true;
}

void SimProcess::CloseStdin() { CloseFd(stdinFd_); }

bool SimProcess::Signal(int sig) { return pid_ > 0 && !exit_ && ::kill(pid_, sig) == 0; }

std::optional<ChildExit> SimProcess::Wait(std::chrono::milliseconds timeout) {
    if (exit_ || pid_ <= 0) return exit_;
    // The child holds the write end of its stdout pipe until it ends, so the pipe's hang-up tells
    // us when to reap it without polling waitpid.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd p{stdoutFd_, POLLIN, 0};
        int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return std::nullopt;
        if (ready < 0) break;
        char buffer[256];
        ssize_t n = ::read(stdoutFd_, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
    }
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    if (done != pid_) return std::nullopt;
    exit_ = ChildExit{WIFEXITED(status) != 0, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    return exit_;
}

std::optional<ChildExit> SimProcess::Stop(int sig, std::chrono::milliseconds timeout) {
    if (!exit_) Signal(sig);
    return Wait(timeout);
}

bool RawTerminal::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
        ::cfmakeraw(&tio);
        if (::tcsetattr(fd_, TCSANOW, &tio) == 0) return true;
    }
    Close();
    return false;
}

bool RawTerminal::OpenNew() {
    Close();
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char* name = fd_ >= 0 && ::grantpt(fd_) == 0 && ::unlockpt(fd_) == 0 ? ::ptsname(fd_) : nullptr;
    if (name == nullptr) Close();
    slavePath_ = name != nullptr ? name : "";
    return fd_ >= 0;
}

void RawTerminal::Close() { CloseFd(fd_); }

bool RawTerminal::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        pollfd p{fd_, POLLOUT, 0};
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            if (::poll(&p, 1, RemainingMs(deadline)) <= 0) return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> RawTerminal::Read(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count) {
        pollfd p{fd_, POLLIN, 0};
        int ready = ::poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        std::uint8_t buffer[4096];
        std::size_t want = std::min(sizeof buffer, count - got.size());
        ssize_t n = ::read(fd_, buffer, want);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        } else if (!(n < 0 && (errno == EINTR || errno == EAGAIN))) {
            break;
        }
    }
    return got;
}

}  // namespace zemrik::test
