#include "port/CommPort.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace zemrik {

namespace {

using std::chrono::milliseconds;

constexpr int kBaudSpeeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                               19200, 38400, 56000, 57600, 115200, 128000, 256000};

// DTR raised while open, RTS/CTS handshake (plus the DSR members a POSIX line ignores).
constexpr std::uint32_t kLineFlags = 0x205C;
constexpr std::uint32_t kOpenEventMask = 0x1FD;

constexpr milliseconds kReadyWait{1000};
// How long ClosePort sleeps between checks that a worker ended; a safety net only, since an
// ending worker wakes the main thread's wait.
constexpr milliseconds kEndCheck{50};

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

// ---- TCustomCommPort ----

TCustomCommPort::TCustomCommPort(TComponent* owner, std::unique_ptr<SerialDevice> device,
                                 MainThreadCalls* calls)
    : TComponent(owner),
      device_(device ? std::move(device) : MakeSystemSerialDevice()),
      calls_(calls != nullptr ? *calls : MainThreadCalls::Main()),
      shared_(*this, *device_, calls_) {}

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
    shared_.out.Allocate(outSize_);
    shared_.in.Allocate(inSize_);

    std::string path = names_.DevicePath(comNumber_);
    lastOpenError_ = device_->Open(path);
    if (lastOpenError_ != DeviceError::None) {
        shared_.out.Release();
        shared_.in.Release();
        return;
    }
    shared_.enabled = true;
    shared_.ResetGone();
    device_->SetQueueSizes(shared_.in.Size(), shared_.out.Size());
    device_->SetTimeouts();
    SetBaudRate(baudRate_);
    SetParity(parity_);
    SetStopbits(stopbits_);
    SetDatabits(databits_);
    shared_.closing = false;
    // From here on the port counts as open, so that a failure below closes what it opened.
    open_ = true;

    // The ready events still hold the end signals of the previous open's threads.
    for (AutoResetEvent* event : {&shared_.statusReady, &shared_.readReady, &shared_.writeReady,
                                  &shared_.readWake, &shared_.writeWake, &shared_.statusWake}) {
        event->Reset();
    }
    try {
        statusThread_ = std::make_unique<TStatusThread>(
            shared_, [this](TObject* sender, std::uint32_t status) { HandleTC32Event(sender, status); });
        WaitServing(shared_.statusReady, kReadyWait);
        device_->SetEventMask(kOpenEventMask);
        // The status thread's first wait may have found no mask yet; let it retry now, not in 100 ms.
        shared_.statusWake.Set();
        readThread_ = std::make_unique<TReadThread>(shared_);
        WaitServing(shared_.readReady, kReadyWait);
        writeThread_ = std::make_unique<TWriteThread>(shared_);
        WaitServing(shared_.writeReady, kReadyWait);
    } catch (const std::system_error&) {
        // No thread could be made: a port without all three would hang its close later.
        StopThreadsAndClose();
        lastOpenError_ = DeviceError::Other;
        return;
    }

    auto onOpen = shared_.Handlers().onOpen;
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
    shared_.closing = true;
    if (!open_) return;
    StopThreadsAndClose();
}

void TCustomCommPort::StopThreadsAndClose() {
    shared_.closing = true;
    // A write held up by flow control must not keep the write thread (and so us) waiting.
    device_->CancelWrite();
    shared_.writeWake.Set();
    StopThread(writeThread_);

    shared_.readWake.Set();
    StopThread(readThread_);

    device_->SetEventMask(0);
    shared_.statusWake.Set();
    StopThread(statusThread_);

    shared_.enabled = false;
    device_->Close();
    dtr_ = false;
    shared_.in.Release();
    shared_.out.Release();
    open_ = false;
}

// ---- Handlers ----

#define ZEMRIK_HANDLER_SETTER(Name, Type, member)                                                      \
    void TCustomCommPort::Name(Type handler) {                                                         \
        shared_.ChangeHandlers([&](PortHandlers& handlers) { handlers.member = std::move(handler); }); \
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
ZEMRIK_HANDLER_SETTER(SetOnDeviceGone, TNotifyEvent, onDeviceGone)
#undef ZEMRIK_HANDLER_SETTER

void TCustomCommPort::HandleTC32Event(TObject* /*sender*/, std::uint32_t status) {
    PortHandlers h = shared_.Handlers();
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
    if (!shared_.enabled || count <= 0 || data == nullptr) return 0;
    const int taken = shared_.out.Put(data, count);
    if (taken > 0) shared_.writeWake.Set();
    return taken;
}

int TCustomCommPort::PutChar(std::uint8_t c) { return PutBlock(&c, 1); }

int TCustomCommPort::PutString(const std::string& s) {
    if (s.empty()) return 0;
    return PutBlock(reinterpret_cast<const std::uint8_t*>(s.data()), static_cast<int>(s.size()));
}

int TCustomCommPort::GetBlock(std::uint8_t* data, int count) {
    if (!shared_.enabled || count <= 0 || data == nullptr) return 0;
    bool wasFull = false;
    const int taken = shared_.in.Drain([&](const std::uint8_t* bytes, int held) {
        wasFull = held >= shared_.in.Size();
        const int n = std::min(count, held);
        std::memcpy(data, bytes, static_cast<std::size_t>(n));
        return n;
    });
    // A full buffer left the rest in the driver: with room again the read thread fetches it now,
    // not at its next pass (a 200-entry root table is larger than the buffer).
    if (wasFull && taken > 0) shared_.readWake.Set();
    return taken;
}

std::uint8_t TCustomCommPort::GetChar() {
    std::uint8_t c = 0;
    if (shared_.in.Used() > 0) GetBlock(&c, 1);
    return c;
}

bool TCustomCommPort::CharReady() { return shared_.in.Used() > 0; }

void TCustomCommPort::FlushInBuffer() {
    if (shared_.enabled) device_->Purge(true, false);
    shared_.in.Clear();
}

void TCustomCommPort::FlushOutBuffer() {
    if (!shared_.enabled) {
        shared_.out.Clear();
        return;
    }
    // The write thread holds the buffer's lock through a device write that flow control may hold
    // up; writes stay refused until the buffer is empty, so it cannot start the same bytes again.
    device_->CancelWrite();
    device_->Purge(false, true);
    shared_.out.Clear();
    if (!shared_.closing) device_->ResumeWrites();
}

void TCustomCommPort::ExpectBytes(int count) {
    const int size = open_ ? shared_.in.Size() : inSize_;
    shared_.bytesWanted = std::clamp(count, 1, std::max(size, 1));
}

int TCustomCommPort::GetInBuffFree() { return (open_ ? shared_.in.Size() : inSize_) - shared_.in.Used(); }

int TCustomCommPort::GetOutQueCount() {
    int inQueue = 0;
    int outQueue = 0;
    if (!shared_.enabled || !device_->QueueCounts(inQueue, outQueue)) return 0;
    return outQueue;
}

// ---- Line control ----

bool TCustomCommPort::WriteState(const std::function<void(Dcb&)>& change) {
    if (!shared_.enabled) return false;
    device_->GetState(dcb_);
    change(dcb_);
    const bool taken = device_->SetState(dcb_);
    // The status thread times its gathering of a long reply by the speed the line really has.
    shared_.byteMicros = taken ? ByteMicros(dcb_) : 0;
    return taken;
}

bool TCustomCommPort::SetLineSpeed(std::uint32_t bitsPerSecond) {
    return WriteState([bitsPerSecond](Dcb& dcb) { dcb.BaudRate = bitsPerSecond; });
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
    // Raised straight away, while the port runs: this is the main thread already.
    if (statusThread_) {
        auto handler = shared_.Handlers().onDTRSignal;
        if (handler) handler(this);
    }
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
    if (shared_.enabled) Set_BREAK(true);
    std::this_thread::sleep_for(milliseconds(55) * ticks);
    if (shared_.enabled) Set_BREAK(false);
}

bool TCustomCommPort::GetModemState(int line) {
    static constexpr std::uint32_t kLineBits[] = {0, MS_CTS_ON, MS_DSR_ON, MS_RING_ON, MS_RLSD_ON};
    if (line < 1 || line > 4) return false;
    std::uint32_t bits = 0;
    if (!shared_.enabled || !device_->GetModemStatus(bits)) return false;
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
