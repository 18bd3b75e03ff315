#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "port/PosixTermios2.h"
#include "port/SerialDevice.h"

struct termios;

// A serial device on Linux: a tty (ttyS, ttyUSB, ttyACM) or a pseudo-terminal, in raw mode.
//
// Event waits watch the descriptor edge-triggered (new bytes end a wait, bytes left queued do
// not) together with an eventfd, which CancelWait, SetEventMask and Write ring; Write waits for room together
// with a second eventfd, which CancelWrite rings.
//
// Where the events come from:
// - EV_RXCHAR: the count of bytes ever received grew.
// - EV_CTS, EV_DSR, EV_RLSD, EV_RING, EV_BREAK, EV_ERR: the driver's interrupt counters
//   (TIOCGICOUNT), looked at every kModemPollMs inside a wait (TIOCMIWAIT cannot be cancelled).
//   Counting catches a pulse shorter than that. A driver without counters has its modem lines
//   sampled instead, and then reports neither breaks nor errors.
// - EV_TXEMPTY: after a write, once the transmitter is empty (TIOCSERGETLSR where the driver has
//   it, otherwise once the output queue is empty).
// A pseudo-terminal has neither counters nor modem lines nor a line status register: it reports
// CTS and DSR on and produces only EV_RXCHAR and EV_TXEMPTY, never EV_CTS, EV_DSR, EV_RLSD,
// EV_RING, EV_BREAK or EV_ERR.
//
// Once the device is gone (hang-up, EIO, end of file) every call fails at once and WaitEvent
// blocks on the cancel eventfd only, so the worker threads neither spin nor touch a dead fd.
namespace zemrik {

// errno of a failed open or call -> the port's closed error set.
DeviceError DeviceErrorFromErrno(int err);

// The driver's interrupt counters that become events.
struct LineCounters {
    std::uint32_t cts = 0;
    std::uint32_t dsr = 0;
    std::uint32_t ring = 0;
    std::uint32_t dcd = 0;
    std::uint32_t breaks = 0;
    std::uint32_t errors = 0;  // framing, parity and overrun errors, the driver's lost bytes
};
// The events between two readings of the counters (they only grow, and wrap).
std::uint32_t EventsFromCounters(const LineCounters& before, const LineCounters& after);

class PosixSerialDevice final : public SerialDevice {
public:
    static constexpr int kModemPollMs = 50;

    PosixSerialDevice();
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    DeviceError Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    int LastError() const override { return lastError_; }

    bool SetQueueSizes(int inSize, int outSize) override;
    bool SetTimeouts() override;
    bool GetState(Dcb& dcb) override;
    bool SetState(const Dcb& dcb) override;

    bool SetEventMask(std::uint32_t mask) override;
    bool WaitEvent(std::uint32_t& mask) override;
    void CancelWait() override;

    bool QueueCounts(int& inQueue, int& outQueue) override;
    int Read(std::uint8_t* buffer, int count) override;
    int Write(const std::uint8_t* data, int count) override;
    void CancelWrite() override;
    void ResumeWrites() override { writesCancelled_ = false; }
    bool Purge(bool rx, bool tx) override;

    bool GetModemStatus(std::uint32_t& bits) override;
    bool Escape(int code) override;
    bool IsGone() const override { return gone_; }

private:
    bool Usable() const { return fd_ >= 0 && !gone_; }
    bool Fail(int err);
    void MarkGoneIf(int err);
    // TIOCMGET; false on a device without modem lines.
    bool ReadModemLines(int& lines);
    // TIOCGICOUNT; false on a driver without counters.
    static bool ReadCounters(int fd, LineCounters& counters);
    // Whether a write has fully left the line.
    bool TransmitterEmpty();

    std::atomic<int> fd_{-1};
    int waitWakeFd_ = -1;   // eventfd: ends a WaitEvent
    int writeWakeFd_ = -1;  // eventfd: ends a Write's wait for room
    int epollFd_ = -1;      // the open descriptor (edge-triggered) and waitWakeFd_
    std::atomic<bool> gone_{false};
    std::atomic<int> lastError_{0};
    std::atomic<std::uint32_t> eventMask_{0};
    std::atomic<bool> cancelWait_{false};
    std::atomic<bool> writesCancelled_{false};
    // Set by a write, cleared once the transmit queue has drained and EV_TXEMPTY was reported.
    std::atomic<bool> txPending_{false};

    std::mutex stateLock_;                     // guards flags_ and the line settings' read-change-write
    std::unique_ptr<::termios> savedTermios_;  // restored on close
    LineWord savedWord_;                       // with the speed, which termios may not hold
    std::uint32_t flags_ = 0;

    // Used by the status thread only, inside WaitEvent; Open sets them before any thread runs.
    int lastLines_ = 0;
    bool linesKnown_ = false;
    bool haveCounters_ = false;
    bool haveLines_ = false;
    LineCounters lastCounters_;
    bool haveLsr_ = false;
    // EV_RXCHAR is reported when the count of bytes ever received grows: the bytes Read and
    // Purge took plus those still queued. Comparing queue sizes alone misses bytes that arrive
    // after a Read emptied the queue back to the size it had, and they would wait for the read
    // thread's next pass.
    std::mutex rxLock_;              // guards rxTaken_ together with the queue it is read against
    std::uint64_t rxTaken_ = 0;      // bytes Read and Purge removed from the receive queue
    std::uint64_t lastRxTotal_ = 0;  // status thread only, inside WaitEvent
};

}  // namespace zemrik
