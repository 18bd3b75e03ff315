#include "link/Commport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zemrik {

namespace {

using std::chrono::milliseconds;

constexpr int kBaudSpeeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                               19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::uint32_t kEventBits[] = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                        EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};

// DTR raised while open, RTS/CTS handshake (plus the DSR members a POSIX line ignores).
constexpr std::uint32_t kLineFlags = 0x205C;
constexpr std::uint32_t kOpenEventMask = 0x1FD;
constexpr std::uint32_t kStartupSignal = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr std::uint32_t kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_ERR | EV_RING;

constexpr milliseconds kReadyWait{1000};
constexpr milliseconds kWritePass{100};
constexpr milliseconds kReadPass{500};
constexpr milliseconds kStatusRetry{100};
// How long ClosePort sleeps between checks that a worker ended; a safety net only, since an
// ending worker wakes the main thread's wait.
constexpr milliseconds kEndCheck{50};

// ZEMRIK_TRACE=1 traces the protocol's bytes; "port" (or 2) traces what the worker threads
// actually move through the device, which shows where bytes wait.
bool PortTraceRequested() {
    const char* value = std::getenv("ZEMRIK_TRACE");
    return value != nullptr && (std::strcmp(value, "port") == 0 || std::strcmp(value, "2") == 0);
}

}  // namespace

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_ != nullptr) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    for (TComponent* child : components_) child->owner_ = nullptr;
    if (owner_ != nullptr) std::erase(owner_->components_, this);
}

int BaudRateSpeed(TBaudRate rate) { return kBaudSpeeds[static_cast<int>(rate)]; }

std::uint32_t EventMaskOf(TC32EventType events) {
    std::uint32_t mask = 0;
    for (int i = 0; i < 9; ++i) {
        if (events & (1u << i)) mask |= kEventBits[i];
    }
    return mask;
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

// ---- Worker threads ----

TWorkerThread::TWorkerThread(TCustomCommPort& port) : port_(port), handle_(port.device_.get()) {}

TWorkerThread::~TWorkerThread() = default;

void TWorkerThread::Start() {
    thread_ = std::thread([this] {
        Execute();
        finished_ = true;
        port_.calls_.Wake();
    });
}

void TWorkerThread::Join() {
    if (thread_.joinable()) {
        Terminate();
        thread_.join();
    }
}

bool TWorkerThread::Synchronize(std::function<void()> call) { return port_.calls_.Call(std::move(call)); }

void TWorkerThread::DoOnDataAvail() {
    TCustomCommPort& port = port_;
    Synchronize([&port] {
        auto handler = port.CopyHandlers().onTriggerAvail;
        if (handler) handler(&port, static_cast<std::uint16_t>(port.inBuffUsed_ & 0xFFFF));
    });
}

TStatusThread::TStatusThread(TCustomCommPort& port, TC32EventType events)
    : TWorkerThread(port), monitorMask_(EventMaskOf(events)) {
    onSignal_ = [&port](TObject* sender, std::uint32_t status) { port.HandleTC32Event(sender, status); };
    Start();
}

TStatusThread::~TStatusThread() { Join(); }

void TStatusThread::DoOnSignal() {
    Synchronize([this] {
        if (onSignal_) onSignal_(this, eventMask_);
    });
}

void TStatusThread::DoOnDTRSignal() {
    auto handler = port_.CopyHandlers().onDTRSignal;
    if (handler) handler(&port_);
}

void TStatusThread::Execute() {
    TCustomCommPort& port = port_;
    std::uint32_t bits = 0;
    if (port.Enabled() && handle_->GetModemStatus(bits)) {
        port.ctsState_ = (bits & MS_CTS_ON) != 0;
        eventMask_ = kStartupSignal;
        if (port.SignalWanted(eventMask_)) DoOnSignal();
    }
    port.statusReadyEvent_.Set();
    port.calls_.Wake();
    do {
        if (port.closing_) break;
        std::uint32_t mask = 0;
        bool ok = handle_->WaitEvent(mask);
        if (!ok) port.statusWakeEvent_.WaitFor(kStatusRetry);
        if (port.closing_) break;
        if (!ok) continue;
        eventMask_ = mask;
        if (port.Enabled()) port.readWakeEvent_.Set();
        if (port.inBuffUsed_ > 0 && port.TriggerAssigned()) DoOnDataAvail();
        if ((eventMask_ & kModemEvents) != 0 && handle_->GetModemStatus(bits)) {
            bool cts = (bits & MS_CTS_ON) != 0;
            if (cts && !port.ctsState_) port.writeWakeEvent_.Set();
            port.ctsState_ = cts;
        }
        if (port.SignalWanted(eventMask_)) DoOnSignal();
        if (port.closing_) break;
    } while (!Terminated());
    port.statusReadyEvent_.Set();
}

TReadThread::TReadThread(TCustomCommPort& port) : TWorkerThread(port) { Start(); }

TReadThread::~TReadThread() { Join(); }

void TReadThread::Execute() {
    TCustomCommPort& port = port_;
    port.readReadyEvent_.Set();
    port.calls_.Wake();
    do {
        if (!port.readWakeEvent_.WaitFor(kReadPass)) {
            // Nothing woke us: make the next pass at once, so an idle port is still read twice
            // a second even if an event went missing.
            port.readWakeEvent_.Set();
            continue;
        }
        if (port.closing_) break;
        int queued = 0;
        int outQueue = 0;
        if (!port.Enabled() || !handle_->QueueCounts(queued, outQueue)) queued = 0;
        {
            std::lock_guard<std::mutex> guard(port.inLock_);
            int used = port.inBuffUsed_;
            int n = std::min(queued, port.inBuffSize_ - used);
            if (n > 0 && port.Enabled()) {
                int got = handle_->Read(port.inBuffer_.data() + used, n);
                if (got > 0) {
                    port.Trace("<", port.inBuffer_.data() + used, got);
                    port.AppendReceived(got);
                }
            }
        }
        if (port.inBuffUsed_ > 0 && port.TriggerAssigned()) DoOnDataAvail();
    } while (!port.closing_ && !Terminated());
    port.readReadyEvent_.Set();
}

TWriteThread::TWriteThread(TCustomCommPort& port) : TWorkerThread(port) { Start(); }

TWriteThread::~TWriteThread() { Join(); }

void TWriteThread::Execute() {
    TCustomCommPort& port = port_;
    port.writeReadyEvent_.Set();
    port.calls_.Wake();
    do {
        // Waiting on a wake signal rather than sleeping blindly: PutBlock rings it, so queued
        // bytes leave at once instead of on the next 100 ms pass.
        if (port.outBuffUsed_ < 1) {
            port.writeWakeEvent_.WaitFor(kWritePass);
            continue;
        }
        {
            std::lock_guard<std::mutex> guard(port.outLock_);
            int inQueue = 0;
            int queued = 0;
            if (!handle_->QueueCounts(inQueue, queued)) queued = 0;
            int n = std::min<int>(port.outBuffUsed_, port.outBuffSize_ - queued);
            if (port.Enabled() && n > 0 && !port.closing_ && port.ctsState_) {
                int sent = handle_->Write(port.outBuffer_.data(), n);
                if (sent > 0) {
                    port.Trace(">", port.outBuffer_.data(), sent);
                    port.RemoveSent(sent);
                }
            }
        }
        if (port.closing_) break;
        // Bytes still waiting (CTS off, a full driver queue) are offered again after a pause;
        // PutBlock or CTS coming on ends the pause early.
        if (port.outBuffUsed_ > 0) port.writeWakeEvent_.WaitFor(kWritePass);
    } while (!port.closing_ && !Terminated());
    port.writeReadyEvent_.Set();
}

// ---- TCustomCommPort ----

TCustomCommPort::TCustomCommPort(TComponent* owner, std::unique_ptr<SerialDevice> device,
                                 MainThreadCalls* calls)
    : TComponent(owner),
      device_(device ? std::move(device) : MakeSystemSerialDevice()),
      calls_(calls != nullptr ? *calls : MainThreadCalls::Main()),
      trace_(PortTraceRequested()) {}

TCustomCommPort::~TCustomCommPort() { ClosePort(); }

void TCustomCommPort::SetOpen(bool open) {
    if (open) {
        OpenPort();
    } else {
        ClosePort();
    }
}

bool TCustomCommPort::WaitServing(AutoResetEvent& event, milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!event.TryWait()) {
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        calls_.WaitAndRunPending(std::chrono::duration_cast<milliseconds>(deadline - now) + milliseconds(1));
    }
    return true;
}

void TCustomCommPort::OpenPort() {
    if (open_) return;
    outBuffer_.assign(static_cast<std::size_t>(std::max(outSize_, 0)), 0);
    inBuffer_.assign(static_cast<std::size_t>(std::max(inSize_, 0)), 0);
    outBuffSize_ = static_cast<int>(outBuffer_.size());
    inBuffSize_ = static_cast<int>(inBuffer_.size());
    outBuffUsed_ = 0;
    inBuffUsed_ = 0;

    std::string path = names_.DevicePath(comNumber_);
    lastOpenError_ = device_->Open(path);
    if (lastOpenError_ != DeviceError::None) {
        outBuffer_ = {};
        inBuffer_ = {};
        outBuffSize_ = inBuffSize_ = 0;
        return;
    }
    enabled_ = true;
    device_->SetQueueSizes(inBuffSize_, outBuffSize_);
    device_->SetTimeouts();
    SetBaudRate(baudRate_);
    SetParity(parity_);
    SetStopbits(stopbits_);
    SetDatabits(databits_);
    closing_ = false;

    // The ready events still hold the end signals of the previous open's threads.
    for (AutoResetEvent* event : {&statusReadyEvent_, &readReadyEvent_, &writeReadyEvent_, &readWakeEvent_,
                                  &writeWakeEvent_, &statusWakeEvent_}) {
        event->Reset();
    }
    statusThread_ = std::make_unique<TStatusThread>(*this, monitorEvents_);
    WaitServing(statusReadyEvent_, kReadyWait);
    device_->SetEventMask(kOpenEventMask);
    // The status thread's first wait may have found no mask yet; let it retry now, not in 100 ms.
    statusWakeEvent_.Set();
    readThread_ = std::make_unique<TReadThread>(*this);
    WaitServing(readReadyEvent_, kReadyWait);
    writeThread_ = std::make_unique<TWriteThread>(*this);
    WaitServing(writeReadyEvent_, kReadyWait);
    open_ = true;

    auto onOpen = CopyHandlers().onOpen;
    if (onOpen) onOpen(this, device_->LastError());
}

template <class Thread>
void TCustomCommPort::StopThread(std::unique_ptr<Thread>& thread) {
    if (!thread) return;
    thread->Terminate();
    while (!thread->Finished()) calls_.WaitAndRunPending(kEndCheck);
    thread.reset();
}

void TCustomCommPort::ClosePort() {
    closing_ = true;
    if (!open_) return;

    // A write held up by flow control must not keep the write thread (and so us) waiting.
    device_->CancelWrite();
    writeWakeEvent_.Set();
    StopThread(writeThread_);

    readWakeEvent_.Set();
    StopThread(readThread_);

    device_->SetEventMask(0);
    statusWakeEvent_.Set();
    StopThread(statusThread_);

    enabled_ = false;
    device_->Close();
    dtr_ = false;
    {
        std::lock_guard<std::mutex> guard(inLock_);
        inBuffer_ = {};
        inBuffSize_ = 0;
        inBuffUsed_ = 0;
    }
    {
        std::lock_guard<std::mutex> guard(outLock_);
        outBuffer_ = {};
        outBuffSize_ = 0;
        outBuffUsed_ = 0;
    }
    open_ = false;
}

// ---- Handlers ----

TCustomCommPort::Handlers TCustomCommPort::CopyHandlers() {
    std::lock_guard<std::mutex> guard(handlersLock_);
    return handlers_;
}

bool TCustomCommPort::TriggerAssigned() {
    std::lock_guard<std::mutex> guard(handlersLock_);
    return static_cast<bool>(handlers_.onTriggerAvail);
}

bool TCustomCommPort::SignalWanted(std::uint32_t status) {
    std::lock_guard<std::mutex> guard(handlersLock_);
    const Handlers& h = handlers_;
    return ((status & EV_RLSD) && h.onRLSDSignal) || ((status & EV_BREAK) && h.onBreakSignal) ||
           ((status & EV_CTS) && h.onCTSSignal) || ((status & EV_DSR) && h.onDSRSignal) ||
           ((status & EV_ERR) && h.onErrorSignal) || ((status & EV_RING) && h.onRingSignal) ||
           ((status & EV_TXEMPTY) && h.onTxEmptySignal);
}

#define ZEMRIK_HANDLER_SETTER(Name, Type, member)         \
    void TCustomCommPort::Name(Type handler) {            \
        std::lock_guard<std::mutex> guard(handlersLock_); \
        handlers_.member = std::move(handler);            \
    }
ZEMRIK_HANDLER_SETTER(SetOnOpen, TC32OpenEvent, onOpen)
ZEMRIK_HANDLER_SETTER(SetOnBreakSignal, TNotifyEvent, onBreakSignal)
ZEMRIK_HANDLER_SETTER(SetOnCTSSignal, TNotifyEvent, onCTSSignal)
ZEMRIK_HANDLER_SETTER(SetOnDSRSignal, TNotifyEvent, onDSRSignal)
ZEMRIK_HANDLER_SETTER(SetOnErrorSignal, TC32ErrorEvent, onErrorSignal)
ZEMRIK_HANDLER_SETTER(SetOnRingSignal, TNotifyEvent, onRingSignal)
ZEMRIK_HANDLER_SETTER(SetOnRLSDSignal, TNotifyEvent, onRLSDSignal)
ZEMRIK_HANDLER_SETTER(SetOnTriggerAvail, TTriggerAvailEvent, onTriggerAvail)
ZEMRIK_HANDLER_SETTER(SetOnTxEmptySignal, TNotifyEvent, onTxEmptySignal)
ZEMRIK_HANDLER_SETTER(SetOnDTRSignal, TNotifyEvent, onDTRSignal)
#undef ZEMRIK_HANDLER_SETTER

void TCustomCommPort::HandleTC32Event(TObject* /*sender*/, std::uint32_t status) {
    Handlers h = CopyHandlers();
    if ((status & EV_RLSD) && h.onRLSDSignal) h.onRLSDSignal(this);
    if ((status & EV_BREAK) && h.onBreakSignal) h.onBreakSignal(this);
    if ((status & EV_CTS) && h.onCTSSignal) h.onCTSSignal(this);
    if ((status & EV_DSR) && h.onDSRSignal) h.onDSRSignal(this);
    if ((status & EV_ERR) && h.onErrorSignal) h.onErrorSignal(this, 0);
    if ((status & EV_RING) && h.onRingSignal) h.onRingSignal(this);
    if ((status & EV_TXEMPTY) && h.onTxEmptySignal) h.onTxEmptySignal(this);
}

// ---- Data transfer ----

int TCustomCommPort::PutBlock(const std::uint8_t* data, int count) {
    if (!enabled_ || count <= 0 || data == nullptr) return 0;
    int taken = 0;
    {
        std::lock_guard<std::mutex> guard(outLock_);
        int used = outBuffUsed_;
        taken = std::min(count, outBuffSize_ - used);
        if (taken <= 0) return 0;
        std::memcpy(outBuffer_.data() + used, data, static_cast<std::size_t>(taken));
        outBuffUsed_ = used + taken;
    }
    writeWakeEvent_.Set();
    return taken;
}

int TCustomCommPort::PutChar(std::uint8_t c) { return PutBlock(&c, 1); }

int TCustomCommPort::PutString(const std::string& s) {
    if (s.empty()) return 0;
    return PutBlock(reinterpret_cast<const std::uint8_t*>(s.data()), static_cast<int>(s.size()));
}

int TCustomCommPort::GetBlock(std::uint8_t* data, int count) {
    if (!enabled_ || count <= 0 || data == nullptr) return 0;
    std::lock_guard<std::mutex> guard(inLock_);
    int used = inBuffUsed_;
    int taken = std::min(count, used);
    if (taken <= 0) return 0;
    std::memcpy(data, inBuffer_.data(), static_cast<std::size_t>(taken));
    std::memmove(inBuffer_.data(), inBuffer_.data() + taken, static_cast<std::size_t>(used - taken));
    inBuffUsed_ = used - taken;
    return taken;
}

std::uint8_t TCustomCommPort::GetChar() {
    std::uint8_t c = 0;
    if (inBuffUsed_ > 0) GetBlock(&c, 1);
    return c;
}

bool TCustomCommPort::CharReady() { return inBuffUsed_ > 0; }

void TCustomCommPort::FlushInBuffer() {
    if (enabled_) device_->Purge(true, false);
    std::lock_guard<std::mutex> guard(inLock_);
    inBuffUsed_ = 0;
}

void TCustomCommPort::FlushOutBuffer() {
    if (!enabled_) {
        std::lock_guard<std::mutex> guard(outLock_);
        outBuffUsed_ = 0;
        return;
    }
    // The write thread holds outLock_ through a device write that flow control may hold up;
    // writes stay refused until the buffer is empty, so it cannot start the same bytes again.
    device_->CancelWrite();
    device_->Purge(false, true);
    std::lock_guard<std::mutex> guard(outLock_);
    outBuffUsed_ = 0;
    if (!closing_) device_->ResumeWrites();
}

int TCustomCommPort::GetInBuffFree() {
    std::lock_guard<std::mutex> guard(inLock_);
    return (open_ ? inBuffSize_ : inSize_) - inBuffUsed_;
}

int TCustomCommPort::GetOutQueCount() {
    int inQueue = 0;
    int outQueue = 0;
    if (!enabled_ || !device_->QueueCounts(inQueue, outQueue)) return 0;
    return outQueue;
}

void TCustomCommPort::RemoveSent(int count) {
    int used = outBuffUsed_;
    if (used > count) std::memmove(outBuffer_.data(), outBuffer_.data() + count, used - count);
    outBuffUsed_ = std::max(used - count, 0);
}

void TCustomCommPort::AppendReceived(int count) { inBuffUsed_ = std::min(inBuffUsed_ + count, inBuffSize_); }

void TCustomCommPort::Trace(const char* direction, const std::uint8_t* bytes, int count) {
    if (!trace_) return;
    std::string line = std::string("zemrik port ") + direction;
    char hex[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
        line += hex;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

// ---- Line control ----

void TCustomCommPort::WriteState(const std::function<void(Dcb&)>& change) {
    if (!enabled_) return;
    device_->GetState(dcb_);
    change(dcb_);
    device_->SetState(dcb_);
}

void TCustomCommPort::SetBaudRate(TBaudRate rate) {
    baudRate_ = rate;
    WriteState([rate](Dcb& dcb) {
        dcb.BaudRate = static_cast<std::uint32_t>(BaudRateSpeed(rate));
        dcb.Flags = kLineFlags;
    });
}

void TCustomCommPort::SetParity(TParity parity) {
    parity_ = parity;
    WriteState([parity](Dcb& dcb) { dcb.Parity = static_cast<std::uint8_t>(parity); });
}

void TCustomCommPort::SetStopbits(TStopbits stopbits) {
    stopbits_ = stopbits;
    WriteState([stopbits](Dcb& dcb) { dcb.StopBits = static_cast<std::uint8_t>(stopbits); });
}

void TCustomCommPort::SetDatabits(int databits) {
    databits_ = databits;
    WriteState([databits](Dcb& dcb) { dcb.ByteSize = static_cast<std::uint8_t>(databits & 0xFF); });
}

int TCustomCommPort::GetBaud() const { return BaudRateSpeed(baudRate_); }

void TCustomCommPort::SetBaud(int speed) {
    for (int i = 0; i < static_cast<int>(std::size(kBaudSpeeds)); ++i) {
        if (kBaudSpeeds[i] == speed) {
            SetBaudRate(static_cast<TBaudRate>(i));
            return;
        }
    }
}

void TCustomCommPort::SetDTR(bool on) {
    dtr_ = on;
    if (open_) device_->Escape(on ? SETDTR : CLRDTR);
    // Raised straight away: this is the main thread already.
    if (statusThread_) statusThread_->DoOnDTRSignal();
}

void TCustomCommPort::SetRTS(bool on) {
    rts_ = on;
    if (open_) device_->Escape(on ? SETRTS : CLRRTS);
}

bool TCustomCommPort::Set_BREAK(bool on) {
    if (!open_) return false;
    return device_->Escape(on ? SETBREAK : CLRBREAK);
}

void TCustomCommPort::SendBreak(std::uint16_t ticks) {
    if (enabled_) Set_BREAK(true);
    std::this_thread::sleep_for(milliseconds(55) * ticks);
    if (enabled_) Set_BREAK(false);
}

bool TCustomCommPort::GetModemState(int line) {
    static constexpr std::uint32_t kLineBits[] = {0, MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON};
    if (line < 1 || line > 4) return false;
    std::uint32_t bits = 0;
    if (!enabled_ || !device_->GetModemStatus(bits)) return false;
    return (bits & kLineBits[line]) != 0;
}

// ---- Free functions ----

TCommPort* SearchComPort(TComponent* owner) {
    if (owner == nullptr) return nullptr;
    for (TComponent* child : owner->Components()) {
        if (auto* port = dynamic_cast<TCommPort*>(child)) return port;
        if (TCommPort* found = SearchComPort(child)) return found;
    }
    return nullptr;
}

std::uint16_t ErrorMsgResourceNumber(std::int16_t code) {
    // The magnitude as an unsigned 16-bit number: -32768 stays 32768.
    auto a = static_cast<std::uint16_t>(code < 0 ? -static_cast<int>(code) : code);
    if (a >= 100 && a <= 199) return static_cast<std::uint16_t>(11800 + a);
    return static_cast<std::uint16_t>(11000 + (a / 1000) * 100 + (a % 1000));
}

std::string ErrorMsg(std::int16_t /*code*/) { return std::string(); }

}  // namespace zemrik
