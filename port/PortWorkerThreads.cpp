#include "port/PortWorkerThreads.h"

#include <signal.h>

#include <algorithm>
#include <utility>

namespace zemrik {

namespace {

using std::chrono::milliseconds;

constexpr std::uint32_t kStartupSignal = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr std::uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING;

constexpr milliseconds kWritePass{100};
constexpr milliseconds kReadPass{500};
constexpr milliseconds kStatusRetry{100};
constexpr milliseconds kLongestGather{20};
constexpr milliseconds kEmptyArrivalPause{10};

// Blocks the stop signals in the calling thread while it lives, and restores its mask after.
class StopSignalsBlocked {
public:
    StopSignalsBlocked() {
        sigset_t stops;
        sigemptyset(&stops);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, sig);
        ::pthread_sigmask(SIG_BLOCK, &stops, &saved_);
    }
    ~StopSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

private:
    sigset_t saved_;
};

}  // namespace

milliseconds GatherPause(int missing, int byteMicros) {
    if (missing <= 1 || byteMicros <= 0) return milliseconds(0);
    const auto half = std::chrono::microseconds(static_cast<std::int64_t>(missing) * byteMicros / 2);
    return std::min(std::chrono::duration_cast<milliseconds>(half), kLongestGather);
}

int ByteMicros(const Dcb& dcb) {
    if (dcb.BaudRate == 0) return 0;
    // A start bit, the data bits, a parity bit if any, and one or two stop bits (1.5 counts as 2).
    const int bits = 1 + dcb.ByteSize + (dcb.Parity != 0 ? 1 : 0) + (dcb.StopBits == 0 ? 1 : 2);
    return static_cast<int>(1'000'000LL * bits / dcb.BaudRate);
}

// ---- AutoResetEvent ----

void AutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        signalled_ = true;
    }
    changed_.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    signalled_ = false;
}

bool AutoResetEvent::TryWait() {
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(signalled_, false);
}

bool AutoResetEvent::WaitFor(milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!changed_.wait_for(guard, timeout, [&] { return signalled_; })) return false;
    signalled_ = false;
    return true;
}

// ---- PortShared ----

PortHandlers PortShared::Handlers() const {
    std::lock_guard<std::mutex> guard(handlersLock_);
    return handlers_;
}

bool PortShared::TriggerAssigned() const {
    std::lock_guard<std::mutex> guard(handlersLock_);
    return static_cast<bool>(handlers_.onTriggerAvail);
}

bool PortShared::SignalWanted(std::uint32_t status) const {
    std::lock_guard<std::mutex> guard(handlersLock_);
    const PortHandlers& h = handlers_;
    return ((status & EV_RLSD) && h.onRLSDSignal) || ((status & EV_BREAK) && h.onBreakSignal) ||
           ((status & EV_CTS) && h.onCTSSignal) || ((status & EV_DSR) && h.onDSRSignal) ||
           ((status & EV_ERR) && h.onErrorSignal) || ((status & EV_RING) && h.onRingSignal) ||
           ((status & EV_TXEMPTY) && h.onTxEmptySignal);
}

int PortShared::ReadFromDevice() {
    if (!enabled) return 0;
    // The device is non-blocking: asking for the room reads what is queued, and what does not
    // fit stays in the driver until GetBlock makes room and wakes the read thread.
    const int got = in.Fill([&](std::uint8_t* at, int room) { return device.Read(at, room); });
    if (got > 0 && in.Used() >= bytesWanted) NotifyData();
    if (device.IsGone()) NotifyGone();
    return std::max(got, 0);
}

void PortShared::SetDataNotifier(std::function<void()> notifier) {
    std::shared_ptr<const std::function<void()>> shared;
    if (notifier) shared = std::make_shared<const std::function<void()>>(std::move(notifier));
    std::lock_guard<std::mutex> guard(notifierLock_);
    notifier_ = std::move(shared);
}

void PortShared::NotifyData() const {
    std::shared_ptr<const std::function<void()>> notifier;
    {
        std::lock_guard<std::mutex> guard(notifierLock_);
        notifier = notifier_;
    }
    if (notifier) (*notifier)();
}

void PortShared::NotifyGone() {
    if (goneNotified_.exchange(true)) return;
    NotifyData();
    // A device that vanishes while the port closes is no news to its owner.
    if (closing || !Handlers().onDeviceGone) return;
    calls.Call(
        [this] {
            if (auto handler = Handlers().onDeviceGone) handler(&sender);
        },
        [this] { NotifyData(); });
}

// ---- Worker threads ----

TWorkerThread::TWorkerThread(PortShared& port) : port_(port), handle_(&port.device) {}

TWorkerThread::~TWorkerThread() = default;

void TWorkerThread::Start() {
    // The new thread inherits the mask, so no stop signal can reach it even before it runs.
    StopSignalsBlocked blocked;
    thread_ = std::thread([this] {
        Execute();
        finished_ = true;
        port_.calls.Wake();
    });
}

void TWorkerThread::Join() {
    if (thread_.joinable()) {
        Terminate();
        thread_.join();
    }
}

bool TWorkerThread::Synchronize(std::function<void()> call) {
    PortShared& port = port_;
    return port.calls.Call(std::move(call), [&port] { port.NotifyData(); });
}

void TWorkerThread::DoOnDataAvail() {
    PortShared& port = port_;
    Synchronize([&port] {
        auto handler = port.Handlers().onTriggerAvail;
        if (handler) handler(&port.sender, static_cast<std::uint16_t>(port.in.Used() & 0xFFFF));
    });
}

TStatusThread::TStatusThread(PortShared& port, TC32Event onSignal)
    : TWorkerThread(port), onSignal_(std::move(onSignal)) {
    Start();
}

TStatusThread::~TStatusThread() { Join(); }

void TStatusThread::DoOnSignal() {
    Synchronize([this] {
        if (onSignal_) onSignal_(this, eventMask_);
    });
}

void TStatusThread::Execute() {
    PortShared& port = port_;
    std::uint32_t bits = 0;
    if (port.enabled && handle_->GetModemStatus(bits)) {
        port.cts = (bits & MS_CTS_ON) != 0;
        eventMask_ = kStartupSignal;
        if (port.SignalWanted(eventMask_)) DoOnSignal();
    }
    port.statusReady.Set();
    port.calls.Wake();
    int emptyArrivals = 0;  // "bytes arrived" events in a row that brought none
    do {
        if (port.closing) break;
        std::uint32_t mask = 0;
        bool ok = handle_->WaitEvent(mask);
        if (!ok) {
            if (handle_->IsGone()) port.NotifyGone();
            port.statusWake.WaitFor(kStatusRetry);
        }
        if (port.closing) break;
        if (!ok) continue;
        eventMask_ = mask;
        const int got = (mask & EV_RXCHAR) != 0 ? port.ReadFromDevice() : 0;
        if (port.in.Used() > 0 && port.TriggerAssigned()) DoOnDataAvail();
        if ((eventMask_ & kModemEvents) != 0 && handle_->GetModemStatus(bits)) {
            // Stored before the writer is woken: woken first, it could still find CTS off and
            // sleep out its whole pass with the bytes held.
            const bool cts = (bits & MS_CTS_ON) != 0;
            const bool was = port.cts.exchange(cts);
            if (cts && !was) port.writeWake.Set();
        }
        if (port.SignalWanted(eventMask_)) DoOnSignal();
        if (port.closing) break;
        // The reader waits for many more bytes than have come: rather than wake for every few
        // that arrive, let them gather in the driver and take them in one read. A close ends the
        // pause at once.
        if ((mask & EV_RXCHAR) != 0) {
            const milliseconds pause = GatherPause(port.bytesWanted - port.in.Used(), port.byteMicros);
            if (pause.count() > 0) port.statusWake.WaitFor(pause);
        }
        // A device that keeps saying bytes arrived when none did would keep this loop, and a
        // core, busy: from the second such event in a row, look again only after a short pause.
        emptyArrivals = mask == EV_RXCHAR && got == 0 ? emptyArrivals + 1 : 0;
        if (emptyArrivals > 1) port.statusWake.WaitFor(kEmptyArrivalPause);
    } while (!Terminated());
    port.statusReady.Set();
}

TReadThread::TReadThread(PortShared& port) : TWorkerThread(port) { Start(); }

TReadThread::~TReadThread() { Join(); }

void TReadThread::Execute() {
    PortShared& port = port_;
    port.readReady.Set();
    port.calls.Wake();
    do {
        if (!port.readWake.WaitFor(kReadPass)) {
            // Nothing woke us: make the next pass at once, so an idle port is still read twice
            // a second even if an event went missing.
            port.readWake.Set();
            continue;
        }
        if (port.closing) break;
        port.ReadFromDevice();
        if (port.in.Used() > 0 && port.TriggerAssigned()) DoOnDataAvail();
    } while (!port.closing && !Terminated());
    port.readReady.Set();
}

TWriteThread::TWriteThread(PortShared& port) : TWorkerThread(port) { Start(); }

TWriteThread::~TWriteThread() { Join(); }

void TWriteThread::Execute() {
    PortShared& port = port_;
    port.writeReady.Set();
    port.calls.Wake();
    do {
        // PutBlock rings the wake signal, so queued bytes leave at once.
        if (port.out.Used() < 1) {
            port.writeWake.WaitFor(kWritePass);
            continue;
        }
        // The lock stays held through the device write, so PutBlock waits until the device took it.
        port.out.Drain([&](const std::uint8_t* bytes, int held) {
            int inQueue = 0;
            int queued = 0;
            if (!handle_->QueueCounts(inQueue, queued)) queued = 0;
            const int n = std::min(held, port.out.Size() - queued);
            if (!port.enabled || n <= 0 || port.closing || !port.cts) return 0;
            return handle_->Write(bytes, n);
        });
        if (port.closing) break;
        // Bytes still waiting (CTS off, a full driver queue) are offered again after a pause;
        // PutBlock or CTS coming on ends the pause early.
        if (port.out.Used() > 0) port.writeWake.WaitFor(kWritePass);
    } while (!port.closing && !Terminated());
    port.writeReady.Set();
}

}  // namespace zemrik
