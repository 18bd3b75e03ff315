#pragma once

#include <cstdint>

// A millisecond clock that moves only when told to, so a ten-second time-out runs in
// microseconds. Hand `AsTickSource()` to the protocol and advance the clock from its pump.
namespace zemrik::test {

class FakeClock {
public:
    std::uint64_t Now() const { return now_; }
    void Advance(std::uint64_t ms) { now_ += ms; }
    void Set(std::uint64_t ms) { now_ = ms; }
    auto AsTickSource() {
        return [this] { return now_; };
    }

private:
    std::uint64_t now_ = 1000;  // not 0, so that a deadline computed from 0 would show
};

}  // namespace zemrik::test
