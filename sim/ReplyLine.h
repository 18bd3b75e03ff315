#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "sim/InstrumentEmulator.h"

// The emulator's end of the serial line in time. A pseudo-terminal moves bytes at once; paced,
// this models a real line both ways instead: bytes from the program count as arrived one byte
// time each after the line was free, a reply starts when the request's last byte has arrived
// (plus the delay a fault asks for), and each reply byte leaves one byte time after the one
// before; none is written before its time. No I/O and no clock of its own: the terminal server hands it the
// time.
namespace zemrik {

class ReplyLine {
public:
    // `byteUs`: one byte's time on the line; 0 sends replies as soon as they are due.
    ReplyLine(InstrumentEmulator& emulator, std::uint64_t byteUs) : emulator_(emulator), byteUs_(byteUs) {}

    // Bytes read from the terminal at `nowUs`. A new handshake drops whatever is still queued
    // for the exchange it abandons, so no stale reply byte follows its answer.
    void Receive(std::span<const std::uint8_t> bytes, std::uint64_t nowUs);
    // When the next reply byte is due; nullopt when nothing is queued.
    std::optional<std::uint64_t> NextDueUs() const;
    // When the terminal server should next write: up to kGroupUs after the next byte is due, to
    // hand it over together with the bytes due after it, as a USB serial adapter hands over what
    // came in once a millisecond; a reply's last byte is never held, so no exchange gets longer.
    std::optional<std::uint64_t> NextWriteUs() const;
    static constexpr std::uint64_t kGroupUs = 1'000;
    // The reply bytes due by `nowUs`, oldest first (possibly none).
    std::span<const std::uint8_t> Due(std::uint64_t nowUs) const;
    // The first `count` bytes Due gave were written at `nowUs`.
    void Sent(std::size_t count, std::uint64_t nowUs);
    bool Empty() const { return queue_.empty(); }

private:
    struct Pending {
        std::uint64_t startUs;
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
    };

    InstrumentEmulator& emulator_;
    std::uint64_t byteUs_;
    std::deque<Pending> queue_;
    std::uint64_t rxFreeUs_ = 0;  // when the incoming line has carried every byte received
    std::uint64_t txFreeUs_ = 0;  // when the outgoing line has carried every byte sent
};

}  // namespace zemrik
