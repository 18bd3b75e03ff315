#include "sim/ReplyLine.h"

#include <algorithm>

namespace zemrik {

namespace {

// A write later than this behind its byte's time (the program did not read) restarts the
// outgoing line from now rather than bursting out the time it stood idle.
constexpr std::uint64_t kLateUs = 2'000;

}  // namespace

void ReplyLine::Receive(std::span<const std::uint8_t> bytes, std::uint64_t nowUs) {
    for (std::uint8_t b : bytes) {
        const std::uint64_t arrivedUs = std::max(nowUs, rxFreeUs_) + byteUs_;
        rxFreeUs_ = arrivedUs;
        const int heard = emulator_.HandshakesHeard();
        std::vector<EmulatorReply> replies = emulator_.Receive({&b, 1});
        if (emulator_.HandshakesHeard() != heard) queue_.clear();
        for (EmulatorReply& reply : replies) {
            queue_.push_back({arrivedUs + std::uint64_t{reply.delayMs} * 1000, std::move(reply.bytes)});
        }
    }
}

std::optional<std::uint64_t> ReplyLine::NextDueUs() const {
    if (queue_.empty()) return std::nullopt;
    return std::max(queue_.front().startUs, txFreeUs_) + byteUs_;
}

std::optional<std::uint64_t> ReplyLine::NextWriteUs() const {
    const std::optional<std::uint64_t> due = NextDueUs();
    if (!due) return std::nullopt;
    const Pending& front = queue_.front();
    const std::uint64_t lastUs = *due + (front.bytes.size() - front.sent - 1) * byteUs_;
    return std::min(lastUs, *due + kGroupUs);
}

std::span<const std::uint8_t> ReplyLine::Due(std::uint64_t nowUs) const {
    const std::optional<std::uint64_t> due = NextDueUs();
    if (!due || nowUs < *due) return {};
    const Pending& front = queue_.front();
    std::size_t count = front.bytes.size() - front.sent;
    if (byteUs_ > 0) count = std::min<std::size_t>(count, 1 + (nowUs - *due) / byteUs_);
    return {front.bytes.data() + front.sent, count};
}

void ReplyLine::Sent(std::size_t count, std::uint64_t nowUs) {
    const std::optional<std::uint64_t> due = NextDueUs();
    if (!due || count == 0) return;
    Pending& front = queue_.front();
    count = std::min(count, front.bytes.size() - front.sent);
    const std::uint64_t lastUs = *due + (count - 1) * byteUs_;
    txFreeUs_ = nowUs > lastUs + kLateUs ? nowUs : lastUs;
    front.sent += count;
    if (front.sent == front.bytes.size()) queue_.pop_front();
}

}  // namespace zemrik
