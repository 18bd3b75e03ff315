#include "InstrumentLink.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "link/SerialDevice.h"

namespace zemrik::cli {

namespace {

// Ctrl-C, a closed terminal or a kill while the port is open must not leave it behind: the
// exchange under way fails at once, the port closes (restoring the line settings and dropping
// exclusive use, or the next user of the device finds it busy), and only then does the process
// end by the same signal. The handler may only touch a lock-free atomic.
std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ends the pump's wait at once when the signal lands on another thread or between its test of
// the flag and its poll; Wake only writes to an eventfd, which a signal handler may do.
MainThreadCalls* wakeOnSignal = nullptr;

extern "C" void RememberSignal(int sig) {
    // The interrupted code may be about to read errno; the wake-up's write must not change it.
    const int savedErrno = errno;
    pendingSignal = sig;
    if (wakeOnSignal != nullptr) wakeOnSignal->Wake();
    errno = savedErrno;
}

void SetStopSignalHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int sig : StopSignals) ::sigaction(sig, &action, nullptr);
}

}  // namespace

InstrumentLink::InstrumentLink()
    : calls_(MainThreadCalls::Main()),
      connection_(calls_, WaitStep{[this](std::uint32_t maxWaitMs) {
                                       calls_.WaitAndRunPending(std::chrono::milliseconds(maxWaitMs));
                                   },
                                   // Bytes, a worker's call and a vanished device end the wait; a
                                   // stop signal ends it too, since the port's workers block those
                                   // signals and so they reach this thread's poll.
                                   [this] { calls_.Wake(); }, {}, [] { return pendingSignal != 0; }}) {
    wakeOnSignal = &calls_;
    SetStopSignalHandler(RememberSignal);
}

InstrumentLink::~InstrumentLink() {
    connection_.Close();
    SetStopSignalHandler(SIG_DFL);
    if (const int sig = pendingSignal; sig != 0) ::raise(sig);
}

InstrumentCommands* PortAccess::Open(Report& report) {
    link_ = std::make_unique<InstrumentLink>();
    const DeviceError error = link_->Open(port_);
    if (error != DeviceError::None) {
        report.Error(PortOpenErrorText);
        report.Error(PortOpenReason(error, port_.path));
        link_.reset();
        return nullptr;
    }
    return &link_->Device();
}

}  // namespace zemrik::cli
