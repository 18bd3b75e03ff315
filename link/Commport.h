#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/ComPortNames.h"
#include "link/InstrumentPort.h"
#include "link/MainThreadCalls.h"
#include "link/SerialDevice.h"

// The serial port component: a transmit and a receive buffer in memory, and three worker
// threads (status, read, write) that move bytes between them and the device.
//
// Threading contract:
// - Every public member of TCustomCommPort is called from the main thread, the one that runs
//   the MainThreadCalls queue the port was given. Every event handler runs on that thread too.
// - Workers reach the main thread only through that queue, and never while holding a lock.
//   OpenPort and ClosePort keep running queued calls while they wait for the workers, so a
//   worker handing over a call never blocks them.
// - ClosePort, and so the destructor, may still run handlers the workers handed over: whatever a
//   handler uses must outlive the port (or the port must be closed first).
// - Do not close the port from inside one of its own event handlers: the worker that raised the
//   event waits for the handler to return and so could never end.
// - CharReady, GetChar's first test and the Get...BuffUsed/Free counts read atomics without a lock.
namespace zemrik {

class TObject {
public:
    virtual ~TObject() = default;
};

// An owner keeps a list of the components it owns, in creation order. It does not own their
// memory: whoever made a component destroys it, and it leaves its owner's list then.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::vector<TComponent*>& Components() const { return components_; }
    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

private:
    TComponent* owner_;
    std::vector<TComponent*> components_;
    std::string name_;
};

enum class TBaudRate : std::uint8_t {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000
};
enum class TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum class TStopbits : std::uint8_t { sb1_0, sb1_5, sb2_0 };
enum class TC32EventState : std::uint8_t {
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};
// A set of TC32EventState: bit n stands for ordinal n.
using TC32EventType = std::uint16_t;
inline constexpr TC32EventType kAllC32Events = 0x01FF;

int BaudRateSpeed(TBaudRate rate);
// The communication-event mask of a set of TC32EventState.
std::uint32_t EventMaskOf(TC32EventType events);

using TNotifyEvent = std::function<void(TObject* sender)>;
using TC32OpenEvent = std::function<void(TObject* sender, std::int32_t error)>;
using TC32ErrorEvent = std::function<void(TObject* sender, std::int32_t errors)>;
using TTriggerAvailEvent = std::function<void(TObject* sender, std::uint16_t count)>;
using TC32Event = std::function<void(TObject* sender, std::uint32_t status)>;

// Auto-reset event: Set wakes one wait (or the next one), then the event is unsignalled again.
class AutoResetEvent {
public:
    void Set();
    void Reset();
    bool TryWait();
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::mutex lock_;  // guards signalled_
    std::condition_variable changed_;
    bool signalled_ = false;
};

class TCustomCommPort;

// A worker of the port. The body starts when the derived constructor calls Start; each derived
// destructor joins it before its own members go.
class TWorkerThread : public TObject {
public:
    ~TWorkerThread() override;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Finished() const { return finished_; }

protected:
    explicit TWorkerThread(TCustomCommPort& port);
    void Start();
    void Join();
    virtual void Execute() = 0;
    // Runs `call` on the main thread and waits for it; false if the queue was shut down.
    bool Synchronize(std::function<void()> call);
    void DoOnDataAvail();

    TCustomCommPort& port_;
    SerialDevice* handle_;

private:
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
};

class TStatusThread final : public TWorkerThread {
public:
    TStatusThread(TCustomCommPort& port, TC32EventType events);
    ~TStatusThread() override;
    void DoOnDTRSignal();

private:
    void Execute() override;
    void DoOnSignal();

    std::uint32_t eventMask_ = 0;  // status thread; read on the main thread during DoOnSignal
    // MonitorEvents as an event mask. The device's mask stays the open sequence's fixed one, so
    // nothing reads it yet; it is kept for a port that lets the set govern the device.
    std::uint32_t monitorMask_;
    TC32Event onSignal_;
};

class TReadThread final : public TWorkerThread {
public:
    explicit TReadThread(TCustomCommPort& port);
    ~TReadThread() override;

private:
    void Execute() override;
};

class TWriteThread final : public TWorkerThread {
public:
    explicit TWriteThread(TCustomCommPort& port);
    ~TWriteThread() override;

private:
    void Execute() override;
};

class TCustomCommPort : public TComponent, public InstrumentPort {
public:
    // `device` defaults to the system's serial device, `calls` to MainThreadCalls::Main().
    explicit TCustomCommPort(TComponent* owner = nullptr, std::unique_ptr<SerialDevice> device = nullptr,
                             MainThreadCalls* calls = nullptr);
    ~TCustomCommPort() override;

    void OpenPort();
    void ClosePort();
    bool Enabled() const { return enabled_; }
    // The open device, or null while closed: the start-up code sets the line speed through it.
    SerialDevice* Handle() const { return enabled_ ? device_.get() : nullptr; }
    // Why the last OpenPort failed (None after a successful one).
    DeviceError LastOpenError() const { return lastOpenError_; }

    // Properties.
    int ComNumber() const { return comNumber_; }
    void SetComNumber(int number) { comNumber_ = number; }
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate rate);
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    TStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TStopbits stopbits);
    int Databits() const { return databits_; }
    void SetDatabits(int databits);
    int InSize() const { return inSize_; }
    void SetInSize(int size) { inSize_ = size; }
    int OutSize() const { return outSize_; }
    void SetOutSize(int size) { outSize_ = size; }
    bool Open() const { return open_; }
    void SetOpen(bool open);
    bool DTR() const { return dtr_; }
    void SetDTR(bool on);
    bool RTS() const { return rts_; }
    void SetRTS(bool on);
    int Baud() const { return GetBaud(); }
    int GetBaud() const;
    void SetBaud(int speed);
    TC32EventType MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TC32EventType events) { monitorEvents_ = events; }

    // COM number -> device path; change before opening.
    ComPortNames& PortNames() { return names_; }

    // Events (assigned from the main thread; raised on it).
    void SetOnOpen(TC32OpenEvent handler);
    void SetOnBreakSignal(TNotifyEvent handler);
    void SetOnCTSSignal(TNotifyEvent handler);
    void SetOnDSRSignal(TNotifyEvent handler);
    void SetOnErrorSignal(TC32ErrorEvent handler);
    void SetOnRingSignal(TNotifyEvent handler);
    void SetOnRLSDSignal(TNotifyEvent handler);
    void SetOnTriggerAvail(TTriggerAvailEvent handler);
    void SetOnTxEmptySignal(TNotifyEvent handler);
    void SetOnDTRSignal(TNotifyEvent handler);

    // Data transfer.
    int PutBlock(const std::uint8_t* data, int count) override;
    int PutChar(std::uint8_t c) override;
    int PutString(const std::string& s);
    int GetBlock(std::uint8_t* data, int count);
    std::uint8_t GetChar() override;
    bool CharReady() override;
    void FlushInBuffer() override;
    void FlushOutBuffer() override;
    int GetInBuffUsed() const { return inBuffUsed_; }
    int GetInBuffFree();
    int GetOutBuffUsed() const { return outBuffUsed_; }
    int GetOutBuffFree() const { return (open_ ? outBuffSize_ : outSize_) - outBuffUsed_; }
    int GetOutQueCount();

    // Line control.
    bool Set_BREAK(bool on);
    void SendBreak(std::uint16_t ticks);
    bool GetModemState(int line);

    // Receives every event mask of the status thread, on the main thread.
    void HandleTC32Event(TObject* sender, std::uint32_t status);

    bool CTSState() const { return ctsState_; }

private:
    friend class TWorkerThread;
    friend class TStatusThread;
    friend class TReadThread;
    friend class TWriteThread;

    struct Handlers {
        TC32OpenEvent onOpen;
        TNotifyEvent onBreakSignal;
        TNotifyEvent onCTSSignal;
        TNotifyEvent onDSRSignal;
        TC32ErrorEvent onErrorSignal;
        TNotifyEvent onRingSignal;
        TNotifyEvent onRLSDSignal;
        TTriggerAvailEvent onTriggerAvail;
        TNotifyEvent onTxEmptySignal;
        TNotifyEvent onDTRSignal;
    };

    Handlers CopyHandlers();
    bool TriggerAssigned();
    // Whether HandleTC32Event would call any handler for `status`: the status thread skips the
    // hand-over to the main thread when it would do nothing there.
    bool SignalWanted(std::uint32_t status);
    void WriteState(const std::function<void(Dcb&)>& change);
    // Waits for `event` at most `timeout`, running the main thread's queued calls meanwhile.
    bool WaitServing(AutoResetEvent& event, std::chrono::milliseconds timeout);
    template <class Thread>
    void StopThread(std::unique_ptr<Thread>& thread);
    void RemoveSent(int count);
    void AppendReceived(int count);
    void Trace(const char* direction, const std::uint8_t* bytes, int count);

    std::unique_ptr<SerialDevice> device_;
    MainThreadCalls& calls_;
    ComPortNames names_;
    Dcb dcb_;
    std::unique_ptr<TStatusThread> statusThread_;
    std::unique_ptr<TWriteThread> writeThread_;
    std::unique_ptr<TReadThread> readThread_;

    int comNumber_ = 2;
    TBaudRate baudRate_ = TBaudRate::cbr19200;
    TParity parity_ = TParity::paNone;
    TStopbits stopbits_ = TStopbits::sb1_0;
    int databits_ = 8;
    int inSize_ = 2048;
    int outSize_ = 4096;
    bool dtr_ = false;
    bool rts_ = false;
    TC32EventType monitorEvents_ = kAllC32Events;

    std::mutex handlersLock_;  // guards handlers_ (assigned on the main thread, tested by workers)
    Handlers handlers_;

    std::atomic<bool> ctsState_{false};  // written by the status thread, read by the write thread
    std::atomic<bool> closing_{false};
    std::atomic<bool> enabled_{false};
    bool open_ = false;
    DeviceError lastOpenError_ = DeviceError::None;
    bool trace_ = false;

    AutoResetEvent readWakeEvent_;
    AutoResetEvent statusReadyEvent_;
    AutoResetEvent readReadyEvent_;
    AutoResetEvent writeReadyEvent_;
    AutoResetEvent writeWakeEvent_;   // PutBlock and a CTS change wake the write thread at once
    AutoResetEvent statusWakeEvent_;  // cuts the status thread's pause after a failed wait short

    std::mutex outLock_;  // guards outBuffer_'s bytes and writes of outBuffUsed_
    std::mutex inLock_;   // guards inBuffer_'s bytes and writes of inBuffUsed_
    // Sized at open (OutSize, InSize then in force), released at close.
    std::vector<std::uint8_t> outBuffer_;
    std::vector<std::uint8_t> inBuffer_;
    int outBuffSize_ = 0;
    int inBuffSize_ = 0;
    std::atomic<std::int32_t> outBuffUsed_{0};
    std::atomic<std::int32_t> inBuffUsed_{0};
};

// TCustomCommPort with its properties published; this is the component the program uses.
class TCommPort final : public TCustomCommPort {
public:
    using TCustomCommPort::TCustomCommPort;
};

// The first TCommPort among the components `owner` owns, searched depth first; null if none.
TCommPort* SearchComPort(TComponent* owner);

// The string-resource number ErrorMsg looks up for `code`.
std::uint16_t ErrorMsgResourceNumber(std::int16_t code);
// The program keeps no texts under those numbers, so this is always empty.
std::string ErrorMsg(std::int16_t code);

// The system's serial device (PosixSerialDevice on Linux).
std::unique_ptr<SerialDevice> MakeSystemSerialDevice();

}  // namespace zemrik
