#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "port/LockedBuffer.h"
#include "port/MainThreadCalls.h"
#include "port/SerialDevice.h"

// The port's three worker threads (status, read, write) and the state they share with it.
//
// The status thread waits for device events: it moves arriving bytes from the driver into the
// receive buffer itself (one wake-up per arrival, not a hand-over to another thread), tracks CTS
// for the write thread and hands line events to the main thread. The read thread fetches what a
// full receive buffer left in the driver once room is made, and looks twice a second in case an
// event went missing. The write thread moves bytes from the transmit buffer to the driver.
// Workers reach the main thread only through MainThreadCalls, and never while holding a lock.
namespace zemrik {

class TObject {
public:
    virtual ~TObject() = default;
};

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

struct PortHandlers {
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
    TNotifyEvent onDeviceGone;
};

// What the port and its workers share. The port owns it; workers get a reference.
class PortShared {
public:
    PortShared(TObject& port, SerialDevice& handle, MainThreadCalls& queue)
        : sender(port), device(handle), calls(queue) {}

    TObject& sender;  // the port, as event handlers see it
    SerialDevice& device;
    MainThreadCalls& calls;

    LockedBuffer in;
    LockedBuffer out;
    std::atomic<bool> enabled{false};
    std::atomic<bool> closing{false};
    std::atomic<bool> cts{false};  // written by the status thread, read by the write thread
    // How many held bytes make arriving data worth ringing the notifier for (main thread sets).
    std::atomic<int> bytesWanted{1};
    // How long one byte takes on the line at the speed the device took; 0 when unknown.
    std::atomic<int> byteMicros{0};

    AutoResetEvent readWake;
    AutoResetEvent writeWake;   // PutBlock and a CTS change wake the write thread at once
    AutoResetEvent statusWake;  // cuts the status thread's pause after a failed wait short
    AutoResetEvent statusReady;
    AutoResetEvent readReady;
    AutoResetEvent writeReady;

    // Handlers are assigned on the main thread and tested by workers.
    PortHandlers Handlers() const;
    template <class Change>
    void ChangeHandlers(Change change) {
        std::lock_guard<std::mutex> guard(handlersLock_);
        change(handlers_);
    }
    bool TriggerAssigned() const;
    // Whether raising `status` would call any handler: the status thread skips the hand-over to
    // the main thread when it would do nothing there.
    bool SignalWanted(std::uint32_t status) const;

    // Moves what the driver holds into the receive buffer, as much as fits, and rings the data
    // notifier when the buffer then holds what the reader waits for. Either reading worker.
    // The bytes moved (none when the device failed).
    int ReadFromDevice();

    void SetDataNotifier(std::function<void()> notifier);
    // Rings the data notifier (any thread).
    void NotifyData() const;
    // Rings it once per open when the device is found gone, and then hands onDeviceGone to the
    // main thread unless the port is closing. Workers only.
    void NotifyGone();
    void ResetGone() { goneNotified_ = false; }

private:
    mutable std::mutex handlersLock_;  // guards handlers_
    PortHandlers handlers_;
    mutable std::mutex notifierLock_;  // guards notifier_
    std::shared_ptr<const std::function<void()>> notifier_;
    std::atomic<bool> goneNotified_{false};
};

// How long the status thread may leave arriving bytes in the driver when `missing` more are
// wanted and each takes `byteMicros` on the line: half the time the missing bytes need at the
// line's speed, so the pause always ends before they can all be there, and never over 20 ms, so
// line events still come through quickly. Zero for an unknown speed or a few bytes.
std::chrono::milliseconds GatherPause(int missing, int byteMicros);

// The time one byte with its start, parity and stop bits takes at the speed of `dcb`.
int ByteMicros(const Dcb& dcb);

// A worker of the port. The body starts when the derived constructor calls Start (with the stop
// signals blocked, so that they reach the main thread); each derived destructor joins it before
// its own members go. Start throws std::system_error when no thread can be made.
class TWorkerThread : public TObject {
public:
    ~TWorkerThread() override;
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    bool Finished() const { return finished_; }

protected:
    explicit TWorkerThread(PortShared& port);
    void Start();
    void Join();
    virtual void Execute() = 0;
    // Runs `call` on the main thread and waits for it; false if the queue was shut down.
    bool Synchronize(std::function<void()> call);
    void DoOnDataAvail();

    PortShared& port_;
    SerialDevice* handle_;

private:
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
};

class TStatusThread final : public TWorkerThread {
public:
    TStatusThread(PortShared& port, TC32Event onSignal);
    ~TStatusThread() override;

private:
    void Execute() override;
    void DoOnSignal();

    std::uint32_t eventMask_ = 0;  // status thread; read on the main thread during DoOnSignal
    TC32Event onSignal_;
};

class TReadThread final : public TWorkerThread {
public:
    explicit TReadThread(PortShared& port);
    ~TReadThread() override;

private:
    void Execute() override;
};

class TWriteThread final : public TWorkerThread {
public:
    explicit TWriteThread(PortShared& port);
    ~TWriteThread() override;

private:
    void Execute() override;
};

}  // namespace zemrik
