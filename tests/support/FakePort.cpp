#include "FakePort.h"

#include <algorithm>

namespace zemrik::test {

void FakePort::Deliver(std::span<const std::uint8_t> bytes, std::uint64_t delayMs, std::uint64_t gapMs) {
    // Bytes on one line arrive in order: a new run never overtakes one already on its way.
    std::uint64_t at = clock_.Now() + delayMs;
    if (!incoming_.empty()) at = std::max(at, incoming_.back().at);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) at += gapMs;
        incoming_.push_back({at, bytes[i]});
    }
}

void FakePort::AfterSent(std::size_t totalSent, std::vector<std::uint8_t> bytes, std::uint64_t delayMs,
                         std::uint64_t gapMs) {
    steps_.push_back({totalSent, std::move(bytes), delayMs, gapMs});
}

void FakePort::Queued(const std::uint8_t* data, std::size_t count) {
    sent_.insert(sent_.end(), data, data + count);
    totalSent_ += count;
    if (listener_) listener_({data, count});
    while (!steps_.empty() && totalSent_ >= steps_.front().totalSent) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        Deliver(step.bytes, step.delayMs, step.gapMs);
    }
}

void FakePort::FlushInBuffer() {
    ++inFlushes_;
    // Only what has already arrived is in the buffer; bytes still on the line survive a flush.
    while (!incoming_.empty() && incoming_.front().at <= clock_.Now()) incoming_.pop_front();
}

int FakePort::PutChar(std::uint8_t c) {
    Queued(&c, 1);
    return 1;
}

int FakePort::PutBlock(const std::uint8_t* data, int count) {
    if (count <= 0) return 0;
    Queued(data, static_cast<std::size_t>(count));
    return count;
}

bool FakePort::CharReady() { return !incoming_.empty() && incoming_.front().at <= clock_.Now(); }

std::uint8_t FakePort::GetChar() {
    if (!CharReady()) {
        ++getWithoutReady_;
        return 0;
    }
    std::uint8_t c = incoming_.front().byte;
    incoming_.pop_front();
    return c;
}

}  // namespace zemrik::test
