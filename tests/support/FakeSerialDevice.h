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

#include "port/SerialDevice.h"

// A serial device in memory; the test plays the other end. Every member is safe from any thread.
namespace zemrik::test {

class FakeSerialDevice : public SerialDevice {
    using Self = FakeSerialDevice;

public:
    void SetOpenResult(DeviceError result) { Set(&Self::openResult_, result); }
    void Receive(const std::vector<std::uint8_t>& bytes);
    void SetCts(bool on);
    // Every later call fails, and a pending wait stays asleep until cancelled.
    void Vanish() { Set(&Self::gone_, true); }
    // Every wait from now on ends at once with "bytes arrived", though none did.
    void Babble() { Set(&Self::babbling_, true); }
    // Runs `hook` once on the thread that next asks the queue counts (the port's write thread).
    void OnWriteThread(std::function<void()> hook) { Set(&Self::onQueueCounts_, std::move(hook)); }

    std::vector<std::uint8_t> Written() const { return Get(&Self::written_); }
    Dcb State() const { return Get(&Self::dcb_); }
    std::vector<int> Escapes() const { return Get(&Self::escapes_); }
    int Opens() const { return Get(&Self::opens_); }
    int Closes() const { return Get(&Self::closes_); }
    std::string LastPath() const { return Get(&Self::lastPath_); }
    // Waits up to `timeout` until `done` holds, re-testing on every change of the device.
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const;
    int WorkerCalls() const { return workerCalls_; }
    int QueueCountCalls() const { return queueCounts_; }
    // Worker calls made with SIGINT, SIGTERM or SIGHUP deliverable to the calling thread.
    int WorkerCallsOpenToStopSignals() const { return openToStops_; }

    DeviceError Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return Get(&Self::open_); }
    int LastError() const override { return 0; }
    bool SetQueueSizes(int, int) override { return IsUsable(); }
    bool SetTimeouts() override { return IsUsable(); }
    bool GetState(Dcb& dcb) override {
        return IfUsable([&] { dcb = dcb_; });
    }
    bool SetState(const Dcb& dcb) override {
        return IfUsable([&] { dcb_ = dcb; });
    }
    bool SetEventMask(std::uint32_t mask) override;
    bool WaitEvent(std::uint32_t& mask) override;
    void CancelWait() override { Set(&Self::cancelWait_, true); }
    bool QueueCounts(int& inQueue, int& outQueue) override;
    int Read(std::uint8_t* buffer, int count) override;
    int Write(const std::uint8_t* data, int count) override;
    void CancelWrite() override {}
    void ResumeWrites() override {}
    bool Purge(bool rx, bool) override {
        return IfUsable([&] { rx ? rx_.clear() : void(); });
    }
    bool GetModemStatus(std::uint32_t& bits) override;
    bool Escape(int code) override {
        return IfUsable([&] { escapes_.push_back(code); });
    }
    bool IsGone() const override { return Get(&Self::gone_); }

private:
    // Runs `f` under the lock and wakes every waiter, since `f` may have changed what they wait on.
    template <class F>
    auto Locked(F f) const {
        std::lock_guard<std::mutex> guard(lock_);
        changed_.notify_all();
        return f();
    }
    bool IsUsable() const {
        return Locked([&] { return open_ && !gone_; });
    }
    template <class T>
    T Get(T Self::*member) const {
        return Locked([&] { return this->*member; });
    }
    template <class T>
    void Set(T Self::*member, T value) {
        Locked([&] { this->*member = value; });
    }
    template <class F>
    bool IfUsable(F f) {
        return Locked([&] { return open_ && !gone_ ? (f(), true) : false; });
    }
    void CountWorkerCall();
    void RunOnce(std::function<void()> Self::*hook);

    mutable std::mutex lock_;  // guards every member below but the counters
    mutable std::condition_variable changed_;
    std::atomic<int> workerCalls_{0}, openToStops_{0}, queueCounts_{0};
    DeviceError openResult_ = DeviceError::None;
    bool open_ = false, gone_ = false, cancelWait_ = false, cts_ = true, babbling_ = false;
    int opens_ = 0, closes_ = 0;
    std::string lastPath_;
    Dcb dcb_;
    std::uint32_t eventMask_ = 0, pendingEvents_ = 0;
    std::deque<std::uint8_t> rx_;
    std::vector<std::uint8_t> written_;
    std::vector<int> escapes_;
    std::function<void()> onQueueCounts_;
};

}  // namespace zemrik::test
