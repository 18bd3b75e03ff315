#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/SerialDevice.h"

// A serial device in memory for the port's tests. The test plays the other end: it puts bytes on
// the line (Receive), holds CTS off, holds writes in the driver, or pulls the device away, and
// reads back what the port wrote and did. Every member is safe from any thread.
namespace zemrik::test {

class FakeSerialDevice : public SerialDevice {
public:
    // ---- the test's side ----
    // What the next Open returns (None: it opens).
    void SetOpenResult(DeviceError result);
    void Receive(const std::vector<std::uint8_t>& bytes);
    void SetCts(bool on);
    // While held, Write blocks (the driver takes nothing) until released or cancelled.
    void HoldWrites(bool hold);
    // The device vanishes: every later call fails, and a pending wait stays asleep until cancelled.
    void Vanish();

    std::vector<std::uint8_t> Written() const;
    std::size_t QueuedForReading() const;
    Dcb State() const;
    std::vector<int> Escapes() const;
    std::vector<std::string> Purges() const;  // "rx", "tx", "rx+tx"
    int Opens() const;
    int Closes() const;
    std::string LastPath() const;
    std::uint32_t EventMask() const;
    bool WriteInProgress() const;
    // Waits up to `timeout` until `done` holds, re-testing on every change of the device.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const;

    // Calls made by the worker threads, to tell idling from spinning.
    std::atomic<int> waitCalls{0};
    std::atomic<int> readCalls{0};
    std::atomic<int> writeCalls{0};
    std::atomic<int> queueCalls{0};
    std::atomic<int> modemCalls{0};
    int WorkerCalls() const { return waitCalls + readCalls + writeCalls + queueCalls + modemCalls; }

    // ---- SerialDevice ----
    DeviceError Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override;
    int LastError() const override { return 0; }
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
    void ResumeWrites() override;
    bool Purge(bool rx, bool tx) override;
    bool GetModemStatus(std::uint32_t& bits) override;
    bool Escape(int code) override;
    bool IsGone() const override;

private:
    bool Usable() const { return open_ && !gone_; }
    void Raise(std::uint32_t events);  // lock_ held

    mutable std::mutex lock_;  // guards every member below
    mutable std::condition_variable changed_;
    DeviceError openResult_ = DeviceError::None;
    bool open_ = false;
    bool gone_ = false;
    int opens_ = 0;
    int closes_ = 0;
    std::string lastPath_;
    Dcb dcb_;
    std::uint32_t eventMask_ = 0;
    std::uint32_t pendingEvents_ = 0;
    bool cancelWait_ = false;
    bool cts_ = true;
    bool holdWrites_ = false;
    bool writesCancelled_ = false;
    bool writing_ = false;
    std::deque<std::uint8_t> rx_;
    std::vector<std::uint8_t> written_;
    std::vector<int> escapes_;
    std::vector<std::string> purges_;
};

}  // namespace zemrik::test
