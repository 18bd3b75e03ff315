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

// 1 ready, 0 time-out, -1 error.
int WaitFd(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, events, 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::max<decltype(left)>(left, 0)));
        if (ready >= 0 || errno != EINTR) return ready > 0 ? 1 : ready;
    }
}

ssize_t ReadSome(int fd, void* buffer, std::size_t size) {
    ssize_t n;
    while ((n = ::read(fd, buffer, size)) < 0 && errno == EINTR) {
    }
    return n;
}

void CloseFd(int& fd) { fd = fd >= 0 ? (::close(fd), -1) : -1; }

}  // namespace

SimProcess::~SimProcess() {
    if (pid_ > 0 && !exit_ && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);
    CloseFd(stdinFd_);
    CloseFd(stdoutFd_);
}

bool SimProcess::Start(const std::string& simPath, const std::vector<std::string>& args,
                       std::chrono::milliseconds timeout, const std::string& stderrPath) {
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return error_ = "pipe failed", false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (!stderrPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    // Default signal handling and nothing blocked in the child, whatever the test runner set.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
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
    CloseFd(in[0]);
    CloseFd(out[1]);
    stdinFd_ = in[1], stdoutFd_ = out[0];
    if (rc != 0) return pid_ = -1, error_ = "posix_spawn " + simPath + ": " + std::strerror(rc), false;

    const auto deadline = Clock::now() + timeout;
    std::string line;
    for (char c = 0; c != '\n';) {
        if (WaitFd(stdoutFd_, POLLIN, deadline) <= 0) {
            error_ = "no terminal path from zemrik-sim within the time-out";
            return false;
        }
        if (ReadSome(stdoutFd_, &c, 1) <= 0) {
            error_ = "zemrik-sim ended before printing its terminal path";
            return false;
        }
        if (c != '\n') line += c;
    }
    slavePath_ = line;
    return true;
}

void SimProcess::CloseStdin() { CloseFd(stdinFd_); }

std::optional<std::string> SimProcess::Console(const std::string& line, std::chrono::milliseconds timeout) {
    const std::string text = line + "\n";
    if (stdinFd_ < 0 || ::write(stdinFd_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return std::nullopt;
    const auto deadline = Clock::now() + timeout;
    std::string answer;
    for (char c = 0; c != '\n';) {
        if (WaitFd(stdoutFd_, POLLIN, deadline) <= 0 || ReadSome(stdoutFd_, &c, 1) <= 0) return std::nullopt;
        if (c != '\n') answer += c;
    }
    return answer;
}

bool SimProcess::Signal(int sig) { return pid_ > 0 && !exit_ && ::kill(pid_, sig) == 0; }

std::optional<ChildExit> SimProcess::Wait(std::chrono::milliseconds timeout) {
    if (exit_ || pid_ <= 0) return exit_;
    // The stdout pipe's hang-up says when the child has ended, so waitpid need not be polled.
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int ready = WaitFd(stdoutFd_, POLLIN, deadline);
        if (ready == 0) return std::nullopt;
        char buffer[256];
        if (ready < 0 || ReadSome(stdoutFd_, buffer, sizeof buffer) <= 0) break;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    exit_ = ChildExit{WIFEXITED(status) != 0, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      WIFSIGNALED(status) ? WTERMSIG(status) : 0};
    return exit_;
}

std::optional<ChildExit> SimProcess::Stop(int sig, std::chrono::milliseconds timeout) {
    return Signal(sig), Wait(timeout);
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
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || (errno != EINTR && (errno != EAGAIN || WaitFd(fd_, POLLOUT, deadline) <= 0))) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint8_t> RawTerminal::Read(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < count && WaitFd(fd_, POLLIN, deadline) > 0) {
        std::uint8_t buffer[4096];
        ssize_t n = ReadSome(fd_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
        } else if (n == 0 || errno != EAGAIN) {
            break;
        }
    }
    return got;
}

}  // namespace zemrik::test
