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

int FakePort::Queued(const std::uint8_t* data, int count) {
    sent_.insert(sent_.end(), data, data + count);
    while (!steps_.empty() && sent_.size() >= steps_.front().totalSent) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        Deliver(step.bytes, step.delayMs, step.gapMs);
    }
    return count;
}

void FakePort::FlushInBuffer() {
    // Only what has arrived is in the buffer; bytes still on the line survive a flush.
    while (!incoming_.empty() && incoming_.front().at <= clock_.Now()) incoming_.pop_front();
}

std::uint8_t FakePort::GetChar() {
    if (!CharReady()) return 0;
    std::uint8_t c = incoming_.front().byte;
    incoming_.pop_front();
    return c;
}

}  // namespace zemrik::test
