#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "port/InstrumentPort.h"

namespace zemrik::test {

// A millisecond clock that moves only when told to.
class FakeClock {
public:
    std::uint64_t Now() const { return now_; }
    void Advance(std::uint64_t ms) { now_ += ms; }
    auto AsTickSource() {
        return [this] { return now_; };
    }

private:
    std::uint64_t now_ = 1000;  // not 0: a deadline computed from 0 would show
};

// A scripted port: what is queued is recorded; incoming bytes are ready at their arrival time.
class FakePort : public InstrumentPort {
public:
    explicit FakePort(FakeClock& clock) : clock_(clock) {}

    // The first byte arrives `delayMs` from now, each further one `gapMs` later.
    void Deliver(std::span<const std::uint8_t> bytes, std::uint64_t delayMs = 0, std::uint64_t gapMs = 0);
    // Delivers `bytes` once `totalSent` bytes have been queued since the port was made.
    void AfterSent(std::size_t totalSent, std::vector<std::uint8_t> bytes, std::uint64_t delayMs = 0,
                   std::uint64_t gapMs = 0) {
        steps_.push_back({totalSent, std::move(bytes), delayMs, gapMs});
    }
    void AnswerHandshake(std::size_t sentBefore = 0, std::uint8_t answer = 0xA5, std::uint64_t delayMs = 0) {
        AfterSent(sentBefore + 2, {answer}, delayMs);
    }
    // The next exchange: handshake answered, then `reply` after the `requestSize` request bytes.
    void AnswerNext(std::size_t requestSize, std::vector<std::uint8_t> reply, std::uint64_t delayMs = 0,
                    std::uint64_t gapMs = 0) {
        AnswerHandshake(sent_.size());
        AfterSent(sent_.size() + 2 + requestSize, std::move(reply), delayMs, gapMs);
    }

    const std::vector<std::uint8_t>& Sent() const { return sent_; }
    std::size_t Waiting() const { return incoming_.size(); }  // delivered, not yet taken
    // How much had been sent at each FlushOutBuffer.
    const std::vector<std::size_t>& OutFlushes() const { return outFlushes_; }

    void FlushInBuffer() override;
    void FlushOutBuffer() override { outFlushes_.push_back(sent_.size()); }
    int PutChar(std::uint8_t c) override { return Queued(&c, 1); }
    int PutBlock(const std::uint8_t* data, int count) override { return count > 0 ? Queued(data, count) : 0; }
    bool CharReady() override { return !incoming_.empty() && incoming_.front().at <= clock_.Now(); }
    std::uint8_t GetChar() override;
    void ExpectBytes(int count) override { expected_ = count; }
    int Expected() const { return expected_; }  // what the protocol last said it waits for

private:
    struct Arrival {
        std::uint64_t at;
        std::uint8_t byte;
    };
    struct Step {
        std::size_t totalSent;
        std::vector<std::uint8_t> bytes;
        std::uint64_t delayMs, gapMs;
    };
    int Queued(const std::uint8_t* data, int count);

    FakeClock& clock_;
    std::vector<std::uint8_t> sent_;
    std::vector<std::size_t> outFlushes_;
    std::deque<Arrival> incoming_;
    std::deque<Step> steps_;
    int expected_ = 0;
};

}  // namespace zemrik::test
