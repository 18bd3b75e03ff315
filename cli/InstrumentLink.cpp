#include "InstrumentLink.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "link/SerialDevice.h"

namespace zemrik::cli {

namespace {

// Longer than any of the protocol's time-outs, so one jump ends whichever wait is running.
constexpr std::uint64_t GoneSkipMs = 3'600'000;

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
      port_(nullptr, nullptr, &calls_),
      instrument_(
          port_, [this] { return Ticks(); }, [this](std::uint32_t maxWaitMs) { Pump(maxWaitMs); }) {
    wakeOnSignal = &calls_;
    SetStopSignalHandler(RememberSignal);
    // Bytes, a worker's call and a vanished device end the pump's wait; a stop signal ends it too,
    // since the port's workers block those signals and so they reach this thread's poll.
    port_.SetDataNotifier([this] { calls_.Wake(); });
}

bool InstrumentLink::Open(const PortChoice& choice) {
    TCommPort& port = port_;
    port.PortNames().SetPath(choice.comNumber, choice.path);
    port.SetComNumber(choice.comNumber);
    port.SetOpen(true);
    if (!port.Enabled()) {
        port.SetOpen(false);
        return false;
    }
    // As at the main window's start-up: only the speed changes, and a refusal is not fatal (a
    // pseudo-terminal has no line speed to speak of).
    if (SerialDevice* device = port.Handle()) {
        Dcb dcb;
        device->GetState(dcb);
        dcb.BaudRate = InstrumentBaud;
        device->SetState(dcb);
    }
    return true;
}

InstrumentLink::~InstrumentLink() {
    port_.SetOpen(false);
    SetStopSignalHandler(SIG_DFL);
    if (const int sig = pendingSignal; sig != 0) ::raise(sig);
}

InstrumentCommands* PortAccess::Open(Report& report) {
    link_ = std::make_unique<InstrumentLink>();
    if (!link_->Open(port_)) {
        report.Error(PortOpenErrorText);
        report.Error(PortOpenReason(link_->OpenError(), port_.path));
        link_.reset();
        return nullptr;
    }
    return &link_->Device();
}

std::uint64_t InstrumentLink::Ticks() {
    SerialDevice* device = port_.Handle();
    if ((device != nullptr && device->IsGone()) || pendingSignal != 0) skippedMs_ += GoneSkipMs;
    return SteadyMilliseconds() + skippedMs_;
}

void InstrumentLink::Pump(std::uint32_t maxWaitMs) {
    if (maxWaitMs == 0 || port_.GetInBuffUsed() > 0 || pendingSignal != 0) {
        calls_.RunPending();
    } else {
        calls_.WaitAndRunPending(std::chrono::milliseconds(maxWaitMs));
    }
}

}  // namespace zemrik::cli
