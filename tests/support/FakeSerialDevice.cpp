#include "FakeSerialDevice.h"

#include <algorithm>

namespace zemrik::test {

void FakeSerialDevice::SetOpenResult(DeviceError result) {
    std::lock_guard<std::mutex> guard(lock_);
    openResult_ = result;
}

void FakeSerialDevice::Raise(std::uint32_t events) {
    pendingEvents_ |= events;
    changed_.notify_all();
}

void FakeSerialDevice::Receive(const std::vector<std::uint8_t>& bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
    Raise(EV_RXCHAR);
}

void FakeSerialDevice::SetCts(bool on) {
    std::lock_guard<std::mutex> guard(lock_);
    if (cts_ == on) return;
    cts_ = on;
    Raise(EV_CTS);
}

void FakeSerialDevice::HoldWrites(bool hold) {
    std::lock_guard<std::mutex> guard(lock_);
    holdWrites_ = hold;
    changed_.notify_all();
}

void FakeSerialDevice::Vanish() {
    std::lock_guard<std::mutex> guard(lock_);
    gone_ = true;
    changed_.notify_all();
}

std::vector<std::uint8_t> FakeSerialDevice::Written() const {
    std::lock_guard<std::mutex> guard(lock_);
    return written_;
}

std::size_t FakeSerialDevice::QueuedForReading() const {
    std::lock_guard<std::mutex> guard(lock_);
    return rx_.size();
}

Dcb FakeSerialDevice::State() const {
    std::lock_guard<std::mutex> guard(lock_);
    return dcb_;
}

std::vector<int> FakeSerialDevice::Escapes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return escapes_;
}

std::vector<std::string> FakeSerialDevice::Purges() const {
    std::lock_guard<std::mutex> guard(lock_);
    return purges_;
}

int FakeSerialDevice::Opens() const {
    std::lock_guard<std::mutex> guard(lock_);
    return opens_;
}

int FakeSerialDevice::Closes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return closes_;
}

std::string FakeSerialDevice::LastPath() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastPath_;
}

std::uint32_t FakeSerialDevice::EventMask() const {
    std::lock_guard<std::mutex> guard(lock_);
    return eventMask_;
}

bool FakeSerialDevice::WriteInProgress() const {
    std::lock_guard<std::mutex> guard(lock_);
    return writing_;
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

DeviceError FakeSerialDevice::Open(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    lastPath_ = path;
    if (openResult_ != DeviceError::None) return openResult_;
    ++opens_;
    open_ = true;
    gone_ = false;
    writesCancelled_ = false;
    eventMask_ = 0;
    pendingEvents_ = 0;
    cancelWait_ = false;
    return DeviceError::None;
}

void FakeSerialDevice::Close() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) return;
    open_ = false;
    ++closes_;
    changed_.notify_all();
}

bool FakeSerialDevice::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return open_;
}

bool FakeSerialDevice::SetQueueSizes(int, int) {
    std::lock_guard<std::mutex> guard(lock_);
    return Usable();
}

bool FakeSerialDevice::SetTimeouts() {
    std::lock_guard<std::mutex> guard(lock_);
    return Usable();
}

bool FakeSerialDevice::GetState(Dcb& dcb) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!Usable()) return false;
    dcb = dcb_;
    return true;
}

bool FakeSerialDevice::SetState(const Dcb& dcb) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!Usable()) return false;
    dcb_ = dcb;
    return true;
}

bool FakeSerialDevice::SetEventMask(std::uint32_t mask) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) return false;
    eventMask_ = mask;
    if (mask == 0) {
        cancelWait_ = true;
        changed_.notify_all();
    }
    return true;
}

bool FakeSerialDevice::WaitEvent(std::uint32_t& mask) {
    ++waitCalls;
    mask = 0;
    std::unique_lock<std::mutex> guard(lock_);
    if (!open_ || eventMask_ == 0) return false;
    changed_.wait(guard, [&] { return cancelWait_ || (!gone_ && (pendingEvents_ & eventMask_) != 0); });
    if (cancelWait_) {
        cancelWait_ = false;
        return true;
    }
    mask = pendingEvents_ & eventMask_;
    pendingEvents_ &= ~mask;
    return true;
}

void FakeSerialDevice::CancelWait() {
    std::lock_guard<std::mutex> guard(lock_);
    cancelWait_ = true;
    changed_.notify_all();
}

bool FakeSerialDevice::QueueCounts(int& inQueue, int& outQueue) {
    ++queueCalls;
    std::lock_guard<std::mutex> guard(lock_);
    inQueue = outQueue = 0;
    if (!Usable()) return false;
    inQueue = static_cast<int>(rx_.size());
    return true;
}

int FakeSerialDevice::Read(std::uint8_t* buffer, int count) {
    ++readCalls;
    std::lock_guard<std::mutex> guard(lock_);
    if (!Usable()) return -1;
    int n = std::min<int>(count, static_cast<int>(rx_.size()));
    std::copy_n(rx_.begin(), n, buffer);
    rx_.erase(rx_.begin(), rx_.begin() + n);
    changed_.notify_all();
    return n;
}

int FakeSerialDevice::Write(const std::uint8_t* data, int count) {
    ++writeCalls;
    std::unique_lock<std::mutex> guard(lock_);
    if (!Usable() || writesCancelled_) return -1;
    writing_ = true;
    changed_.notify_all();
    changed_.wait(guard, [&] { return !holdWrites_ || writesCancelled_ || gone_; });
    writing_ = false;
    if (holdWrites_ || gone_ || writesCancelled_) {
        changed_.notify_all();
        return gone_ ? -1 : 0;
    }
    written_.insert(written_.end(), data, data + count);
    Raise(EV_TXEMPTY);
    return count;
}

void FakeSerialDevice::CancelWrite() {
    std::lock_guard<std::mutex> guard(lock_);
    writesCancelled_ = true;
    changed_.notify_all();
}

void FakeSerialDevice::ResumeWrites() {
    std::lock_guard<std::mutex> guard(lock_);
    writesCancelled_ = false;
}

bool FakeSerialDevice::Purge(bool rx, bool tx) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!Usable()) return false;
    if (rx) rx_.clear();
    purges_.push_back(rx && tx ? "rx+tx" : (rx ? "rx" : "tx"));
    changed_.notify_all();
    return true;
}

bool FakeSerialDevice::GetModemStatus(std::uint32_t& bits) {
    ++modemCalls;
    std::lock_guard<std::mutex> guard(lock_);
    bits = 0;
    if (!Usable()) return false;
    bits = MS_DSR_ON | (cts_ ? MS_CTS_ON : 0);
    return true;
}

bool FakeSerialDevice::Escape(int code) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!Usable()) return false;
    escapes_.push_back(code);
    return true;
}

bool FakeSerialDevice::IsGone() const {
    std::lock_guard<std::mutex> guard(lock_);
    return gone_;
}

}  // namespace zemrik::test
