#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cables/CableTable.h"
#include "measurement/MeasurementRecord.h"

// The instrument's side of the line, without any I/O: bytes received from the program go in,
// reply bytes (each run with a delay before it) come out. The pseudo-terminal program and the
// in-process protocol tests both drive it.
namespace zemrik {

// Ways to make the emulated instrument misbehave; the defaults make it behave.
struct EmulatorFaults {
    bool noHandshake = false;                  // never answer 0x55 0xAA
    std::uint8_t handshakeByte = 0xA5;         // the byte that answers the handshake
    std::uint32_t handshakeDelayMs = 0;        // before the handshake answer
    bool badChecksum = false;                  // read replies carry a wrong checksum
    std::uint8_t status = 0;                   // non-zero: every read answers this status and nothing more
    bool noFurtherByte = false;                // write/delete results come without the byte after them
    std::optional<std::uint8_t> refuseWrites;  // record and cable writes answer this and store nothing
    std::optional<std::size_t> stopAfter;      // send only the first K bytes of every command reply
    std::uint32_t delayMs = 0;                 // before every command reply
};

// One run of reply bytes, to be sent `delayMs` after the byte that completed the request.
struct EmulatorReply {
    std::uint32_t delayMs = 0;
    std::vector<std::uint8_t> bytes;
};

class InstrumentEmulator {
public:
    static constexpr int MaxRecords = 200;

    explicit InstrumentEmulator(int capacity = MaxRecords);

    void SetFaults(const EmulatorFaults& faults) { faults_ = faults; }
    const EmulatorFaults& Faults() const { return faults_; }
    // How many records the memory holds before a write answers 2 (no room); at most 200.
    void SetCapacity(int capacity);

    // The instrument's memory as it keeps it: names in code page 866.
    const std::vector<MeasurementRecord>& Records() const { return records_; }
    const CableTable& Cables() const { return cables_; }
    void AddRecord(const MeasurementRecord& oemRecord);
    // Removes record n (later ones move down); false when there is none.
    bool RemoveRecord(std::size_t n);

    // The same memory as the program sees it: names in code page 1251 (files, tests).
    void LoadRecords(const MeasurementList& list);  // replaces every record; at most 200 are taken
    void StoreRecords(MeasurementList& list) const;
    void LoadCables(const CableTable& table);
    void StoreCables(CableTable& table) const;

    // Takes bytes from the line; returns the replies they complete, in order.
    std::vector<EmulatorReply> Receive(std::span<const std::uint8_t> bytes);
    // A request is partly received. The line owner may drop it after a long silence.
    bool MidFrame() const { return state_ == State::Frame; }
    // Forgets any partial handshake or request.
    void Reset();

    // A handshake heard starts a new exchange, answered or not: the line drops the old one's replies.
    int HandshakesHeard() const { return handshakesHeard_; }

private:
    enum class State { Idle, Synced1, AwaitCommand, Frame };

    void Step(std::uint8_t byte, std::vector<EmulatorReply>& replies);
    // Bytes still needed for the request in frame_, 0 when it is complete.
    std::size_t Missing() const;
    void Execute(std::vector<EmulatorReply>& replies);
    void Reply(std::vector<std::uint8_t> bytes, std::vector<EmulatorReply>& replies) const;
    void ReadReply(std::vector<std::uint8_t> body, std::vector<EmulatorReply>& replies) const;
    void ResultReply(std::uint8_t result, bool withFurther, std::vector<EmulatorReply>& replies) const;

    int capacity_;
    EmulatorFaults faults_;
    std::vector<MeasurementRecord> records_;
    CableTable cables_;

    State state_ = State::Idle;
    std::vector<std::uint8_t> frame_;  // the request from its command byte on
    int handshakesHeard_ = 0;
};

}  // namespace zemrik
