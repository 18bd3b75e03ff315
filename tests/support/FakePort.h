#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "FakeClock.h"
#include "link/InstrumentPort.h"

// A scripted serial port on a fake clock. Everything the protocol queues is recorded in
// `Sent()`; incoming bytes are scheduled to arrive at given times and become ready only once the
// clock has reached them, so late and slow replies can be staged exactly.
namespace zemrik::test {

class FakePort : public InstrumentPort {
public:
    explicit FakePort(FakeClock& clock) : clock_(clock) {}

    // Incoming bytes: the first arrives `delayMs` from now, each further one `gapMs` after it.
    void Deliver(std::span<const std::uint8_t> bytes, std::uint64_t delayMs = 0, std::uint64_t gapMs = 0);

    // Delivers `bytes` as soon as `totalSent` bytes have been queued in all (counting from the
    // port's creation), timed from that moment. Steps are taken in the order they were added.
    void AfterSent(std::size_t totalSent, std::vector<std::uint8_t> bytes, std::uint64_t delayMs = 0,
                   std::uint64_t gapMs = 0);
    // The usual opening: answer the handshake (the first two bytes after `sentBefore`) with `answer`.
    void AnswerHandshake(std::size_t sentBefore = 0, std::uint8_t answer = 0xA5, std::uint64_t delayMs = 0) {
        AfterSent(sentBefore + 2, {answer}, delayMs);
    }

    // The next exchange: its handshake answered, then `reply` once the `requestSize` bytes of the
    // request have followed.
    void AnswerNext(std::size_t requestSize, std::vector<std::uint8_t> reply, std::uint64_t delayMs = 0,
                    std::uint64_t gapMs = 0) {
        AnswerHandshake(totalSent_);
        AfterSent(totalSent_ + 2 + requestSize, std::move(reply), delayMs, gapMs);
    }

    // Called with every run of queued bytes (one for PutChar, the block for PutBlock).
    void OnSend(std::function<void(std::span<const std::uint8_t>)> listener) {
        listener_ = std::move(listener);
    }

    const std::vector<std::uint8_t>& Sent() const { return sent_; }
    // Bytes delivered but not yet taken, ready or not.
    std::size_t Waiting() const { return incoming_.size(); }
    int InFlushes() const { return inFlushes_; }
    int OutFlushes() const { return outFlushes_; }
    int GetCharsWithoutReady() const { return getWithoutReady_; }

    void FlushInBuffer() override;
    void FlushOutBuffer() override { ++outFlushes_; }
    int PutChar(std::uint8_t c) override;
    int PutBlock(const std::uint8_t* data, int count) override;
    bool CharReady() override;
    std::uint8_t GetChar() override;

private:
    struct Arrival {
        std::uint64_t at;
        std::uint8_t byte;
    };
    struct Step {
        std::size_t totalSent;
        std::vector<std::uint8_t> bytes;
        std::uint64_t delayMs;
        std::uint64_t gapMs;
    };
    void Queued(const std::uint8_t* data, std::size_t count);

    FakeClock& clock_;
    std::vector<std::uint8_t> sent_;
    std::size_t totalSent_ = 0;
    std::deque<Arrival> incoming_;
    std::deque<Step> steps_;
    std::function<void(std::span<const std::uint8_t>)> listener_;
    int inFlushes_ = 0;
    int outFlushes_ = 0;
    int getWithoutReady_ = 0;
};

}  // namespace zemrik::test
