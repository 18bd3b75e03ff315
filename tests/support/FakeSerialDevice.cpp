#include "FakeSerialDevice.h"

#include <signal.h>

#include <algorithm>
#include <utility>

namespace zemrik::test {

void FakeSerialDevice::Receive(const std::vector<std::uint8_t>& bytes) {
    Locked([&] {
        rx_.insert(rx_.end(), bytes.begin(), bytes.end());
        pendingEvents_ |= EV_RXCHAR;
    });
}

void FakeSerialDevice::SetCts(bool on) {
    Locked([&] {
        if (cts_ != on) pendingEvents_ |= EV_CTS;
        cts_ = on;
    });
}

bool FakeSerialDevice::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        guard.unlock();
        bool ok = done();
        guard.lock();
        if (ok) return true;
        // Re-test at least every few milliseconds: `done` may look at state outside the fake.
        auto next = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
        if (changed_.wait_until(guard, next) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline) {
            guard.unlock();
            return done();
        }
    }
}

void FakeSerialDevice::CountWorkerCall() {
    ++workerCalls_;
    sigset_t mask;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    if (!sigismember(&mask, SIGINT) || !sigismember(&mask, SIGTERM) || !sigismember(&mask, SIGHUP))
        ++openToStops_;
}

void FakeSerialDevice::RunOnce(std::function<void()> Self::*hook) {
    std::function<void()> once = Locked([&] { return std::exchange(this->*hook, nullptr); });
    if (once) once();
}

DeviceError FakeSerialDevice::Open(const std::string& path) {
    return Locked([&] {
        lastPath_ = path;
        if (openResult_ != DeviceError::None) return openResult_;
        ++opens_;
        open_ = true;
        gone_ = cancelWait_ = false;
        eventMask_ = pendingEvents_ = 0;
        return DeviceError::None;
    });
}

void FakeSerialDevice::Close() {
    Locked([&] {
        closes_ += open_;
        open_ = false;
    });
}

bool FakeSerialDevice::SetEventMask(std::uint32_t mask) {
    return Locked([&] {
        eventMask_ = open_ ? mask : eventMask_;
        cancelWait_ = cancelWait_ || (open_ && mask == 0);
        return open_;
    });
}

bool FakeSerialDevice::WaitEvent(std::uint32_t& mask) {
    CountWorkerCall();
    mask = 0;
    std::unique_lock<std::mutex> guard(lock_);
    if (!open_ || eventMask_ == 0) return false;
    const auto arrived = [&] { return pendingEvents_ | (babbling_ ? EV_RXCHAR : 0); };
    changed_.wait(guard, [&] { return cancelWait_ || (!gone_ && (arrived() & eventMask_) != 0); });
    if (std::exchange(cancelWait_, false)) return true;
    mask = arrived() & eventMask_;
    pendingEvents_ &= ~mask;
    return true;
}

bool FakeSerialDevice::QueueCounts(int& inQueue, int& outQueue) {
    CountWorkerCall();
    RunOnce(&Self::onQueueCounts_);
    ++queueCounts_;
    inQueue = outQueue = 0;
    return IfUsable([&] { inQueue = static_cast<int>(rx_.size()); });
}

int FakeSerialDevice::Read(std::uint8_t* buffer, int count) {
    CountWorkerCall();
    int n = -1;
    IfUsable([&] {
        n = std::min<int>(count, static_cast<int>(rx_.size()));
        std::copy_n(rx_.begin(), n, buffer);
        rx_.erase(rx_.begin(), rx_.begin() + n);
    });
    return n;
}

int FakeSerialDevice::Write(const std::uint8_t* data, int count) {
    CountWorkerCall();
    return IfUsable([&] {
        written_.insert(written_.end(), data, data + count);
        pendingEvents_ |= EV_TXEMPTY;
    })
               ? count
               : -1;
}

bool FakeSerialDevice::GetModemStatus(std::uint32_t& bits) {
    CountWorkerCall();
    bits = 0;
    return IfUsable([&] { bits = MS_DSR_ON | (cts_ ? MS_CTS_ON : 0); });
}

}  // namespace zemrik::test
