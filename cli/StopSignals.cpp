#include "cli/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>

namespace zemrik::cli {

namespace {

// Ctrl-C, a closed terminal or a kill while the port is open must not leave it behind: the
// exchange under way fails at once, the port closes (restoring the line settings and dropping
// exclusive use, or the next user of the device finds it busy), and only then does the process
// end by the same signal. Reading the signals from a descriptor, not in a handler, means no code
// is interrupted and no signal can land anywhere but here.
sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
    return set;
}

}  // namespace

StopSignalWatch::StopSignalWatch(MainThreadCalls& calls) : calls_(calls) {
    const sigset_t stops = StopSet();
    ::pthread_sigmask(SIG_BLOCK, &stops, &saved_);
    signalFd_ = ::signalfd(-1, &stops, SFD_CLOEXEC);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (signalFd_ >= 0 && stopFd_ >= 0) watcher_ = std::thread([this] { Watch(); });
}

StopSignalWatch::~StopSignalWatch() {
    if (watcher_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(stopFd_, &one, sizeof one);
        watcher_.join();
    }
    if (signalFd_ >= 0) ::close(signalFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
    // A signal that came after the watcher stopped is still pending and acts as it would have.
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
    if (const int sig = noted_; sig != 0) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
    }
}

void StopSignalWatch::Watch() {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
        int expected = 0;
        noted_.compare_exchange_strong(expected, static_cast<int>(info.ssi_signo));
        calls_.Wake();
    }
}

}  // namespace zemrik::cli
