#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "port/ComPortNames.h"
#include "port/InstrumentPort.h"
#include "port/MainThreadCalls.h"
#include "port/PortWorkerThreads.h"
#include "port/SerialDevice.h"

// The serial port component: a transmit and a receive buffer in memory, and three worker
// threads (status, read, write; PortWorkerThreads.h) that move bytes between them and the device.
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

class TCustomCommPort : public TComponent, public InstrumentPort {
public:
    // `device` defaults to the system's serial device, `calls` to MainThreadCalls::Main().
    explicit TCustomCommPort(TComponent* owner = nullptr, std::unique_ptr<SerialDevice> device = nullptr,
                             MainThreadCalls* calls = nullptr);
    ~TCustomCommPort() override;

    void OpenPort();
    void ClosePort();
    bool Enabled() const { return shared_.enabled; }
    // The open device, or null while closed: the start-up code sets the line speed through it.
    SerialDevice* Handle() const { return shared_.enabled ? device_.get() : nullptr; }
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
    // Any speed the device takes, not only those of the BaudRate table; nothing else changes.
    // False when the device refused it.
    bool SetLineSpeed(std::uint32_t bitsPerSecond);
    // Kept as a property only: the device always gets the open sequence's fixed event mask.
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
    // Raised once per open when the device is found gone (read or event wait failed with it
    // vanished), not while the port closes. Closing the port inside it would wait for the worker
    // that raised it: queue the close instead.
    void SetOnDeviceGone(TNotifyEvent handler);

    // Data transfer.
    int PutBlock(const std::uint8_t* data, int count) override;
    int PutChar(std::uint8_t c) override;
    int PutString(const std::string& s);
    int GetBlock(std::uint8_t* data, int count);
    std::uint8_t GetChar() override;
    bool CharReady() override;
    void FlushInBuffer() override;
    void FlushOutBuffer() override;
    // The data notifier stays silent until `count` bytes are held (at most the buffer's size);
    // a worker's call and a vanished device still ring it at once.
    void ExpectBytes(int count) override;
    int GetInBuffUsed() const { return shared_.in.Used(); }
    int GetInBuffFree();
    int GetOutBuffUsed() const { return shared_.out.Used(); }
    int GetOutBuffFree() const { return (open_ ? shared_.out.Size() : outSize_) - shared_.out.Used(); }
    int GetOutQueCount();

    // Line control.
    bool Set_BREAK(bool on);
    void SendBreak(std::uint16_t ticks);
    bool GetModemState(int line);

    // Receives every event mask of the status thread, on the main thread.
    void HandleTC32Event(TObject* sender, std::uint32_t status);

    bool CTSState() const { return shared_.cts; }

    // Told from the worker threads when bytes added to the receive buffer make it hold what
    // ExpectBytes asked for (one byte unless told otherwise), whenever a worker hands a call to
    // the main thread and when the device is found gone, so a message pump can sleep until one
    // of those happens. Any thread; null clears it.
    void SetDataNotifier(std::function<void()> notifier) { shared_.SetDataNotifier(std::move(notifier)); }

private:
    // Changes the device's line settings; false when the device refused them.
    bool WriteState(const std::function<void(Dcb&)>& change);
    // Waits for `event` at most `timeout`, running the main thread's queued calls meanwhile.
    bool WaitServing(AutoResetEvent& event, std::chrono::milliseconds timeout);
    template <class Thread>
    void StopThread(std::unique_ptr<Thread>& thread);
    void StartThreads();
    void StopThreadsAndClose();

    std::unique_ptr<SerialDevice> device_;
    MainThreadCalls& calls_;
    PortShared shared_;
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

    bool open_ = false;
    DeviceError lastOpenError_ = DeviceError::None;
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
// The program keeps no texts under those numbers, so this is always empty; nothing calls it.
std::string ErrorMsg(std::int16_t code);

// The system's serial device (PosixSerialDevice on Linux).
std::unique_ptr<SerialDevice> MakeSystemSerialDevice();

}  // namespace zemrik
