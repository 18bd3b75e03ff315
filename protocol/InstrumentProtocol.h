#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "cables/CableTable.h"
#include "cables/InstrumentCables.h"
#include "measurement/InstrumentRecords.h"
#include "measurement/MeasurementRecord.h"
#include "port/InstrumentPort.h"

// The instrument's byte protocol: a handshake, one request frame, then the reply byte by byte,
// each byte against its own deadline. Everything above this unit sees names in code page 1251;
// the line carries 866.
namespace zemrik {

using TickSource = std::function<std::uint64_t()>;  // monotonic milliseconds
// "Process pending window messages". While the protocol waits for a byte it passes the
// milliseconds left until that byte's deadline, and the pump may sleep that long unless woken
// (TCommPort::SetDataNotifier says when bytes or calls arrive); 0 asks only for what is pending
// now to be processed, as between bytes that are already there.
using MessagePump = std::function<void(std::uint32_t maxWaitMs)>;

// Milliseconds of the steady clock: the tick source for programs.
std::uint64_t SteadyMilliseconds();

namespace proto {
inline constexpr std::uint8_t SyncFirst = 0x55;
inline constexpr std::uint8_t SyncSecond = 0xAA;
inline constexpr std::uint8_t SyncAnswer = 0xA5;

inline constexpr std::uint8_t CmdReadRootTable = 0x30;
inline constexpr std::uint8_t CmdReadRecord = 0x31;
inline constexpr std::uint8_t CmdWriteRecord = 0x32;
inline constexpr std::uint8_t CmdDeleteRecord = 0x33;
inline constexpr std::uint8_t CmdReadCableTable = 0x40;
inline constexpr std::uint8_t CmdWriteCableTable = 0x41;

// Every byte has its own deadline, so a long reply may take far longer than any of these.
inline constexpr std::uint32_t HandshakeTimeout = 500;
inline constexpr std::uint32_t ReadReplyTimeout = 10000;
inline constexpr std::uint32_t WriteRecordResultTimeout = 3000;
inline constexpr std::uint32_t WriteRecordFurtherTimeout = 2000;
inline constexpr std::uint32_t DeleteResultTimeout = 2000;
inline constexpr std::uint32_t DeleteFurtherTimeout = 10000;
inline constexpr std::uint32_t WriteCableResultTimeout = 10000;
// While more than one byte of a reply is awaited, the longest single wait before looking again.
inline constexpr std::uint32_t GatherWaitMs = 50;
// After a cancelled exchange: the line counts as quiet once no byte came for SettleQuietMs; the
// next handshake waits for that at most SettleMaxMs.
inline constexpr std::uint32_t SettleQuietMs = 50;
inline constexpr std::uint32_t SettleMaxMs = 1000;

inline constexpr std::size_t WireNameLength = 14;
}  // namespace proto

// The protocol with its one checksum accumulator and one root table, so one exchange at a time.
// It is what the measurement list and the cable table reach the instrument through; its result
// codes are those of common/ExchangeResult.h.
//
// Every operation runs on the caller's thread and calls `pump` while it waits. An operation
// started from inside the pump while another is under way is refused at once with its failure
// code; it sends nothing and changes nothing. CancelExchange ends the operation under way at its
// next byte wait, whatever time-out that byte had left; the next operation first lets the line
// fall quiet, so the rest of a reply the instrument was still sending cannot pass for its answer.
//
// With ZEMRIK_TRACE=1 in the environment every byte sent and received is printed as hex on
// stderr.
class InstrumentProtocol final : public InstrumentRecords, public InstrumentCables {
public:
    InstrumentProtocol(InstrumentPort& port, TickSource ticks = SteadyMilliseconds, MessagePump pump = {});
    ~InstrumentProtocol() override;
    InstrumentProtocol(const InstrumentProtocol&) = delete;
    InstrumentProtocol& operator=(const InstrumentProtocol&) = delete;

    // Command 0x30. On failure the root table keeps what it held before.
    std::uint8_t ReadRootTable() override;
    // Command 0x31 for record n. `buffer` is written only on success; a null buffer fails at
    // once without an exchange.
    std::uint8_t ReadRecord(std::uint8_t n, MeasurementRecord* buffer) override;
    // Command 0x32. `name` is 1251 text; its first 14 bytes (up to a NUL) go on the line, padded
    // with spaces. The record itself is never modified: a converted copy is sent.
    std::uint8_t WriteRecord(std::string_view name, const MeasurementRecord& record) override;
    // Command 0x33 for record n.
    std::uint8_t DeleteRecord(std::uint8_t n) override;
    // Command 0x40. `table` changes only on success.
    std::uint8_t ReadCableTable(CableTable& table) override;
    // Command 0x41. A table whose count exceeds its capacity is refused (1) without an exchange.
    std::uint8_t WriteCableTable(const CableTable& table) override;

    const RootTable& GetRootTable() const override { return rootTable_; }
    bool Busy() const override { return busy_; }
    void CancelExchange() override { cancel_ = true; }

    // Building blocks, public for tests.
    std::uint8_t SyncInstrument();  // 0 when the instrument answered 0xA5
    void SendByte(std::uint8_t c);
    void SendBlock(const std::uint8_t* data, std::size_t count);
    std::uint8_t ReceiveByte(std::uint32_t timeoutMs, std::uint8_t& out);  // 0, or 1 on time-out
    std::uint8_t ReceiveCountedByte(std::uint32_t timeoutMs, std::uint8_t& out);
    std::uint8_t ReceiveCountedBlock(std::uint32_t timeoutMs, std::uint8_t* buffer, std::size_t count);
    std::uint8_t Checksum() const { return checksum_; }
    void ClearChecksum() { checksum_ = 0; }

private:
    class ExchangeGuard;

    // Handshake, request, status and count of the 0x30 and 0x40 exchanges; leaves the checksum
    // holding the count. Fails on a count above `capacity` right after the count byte.
    bool ReceiveTableHeader(std::uint8_t command, std::uint8_t& count, int capacity);
    bool ReceiveReplyChecksum();
    void Pump(std::uint32_t maxWaitMs);
    // Takes what still arrives until the line has been quiet for SettleQuietMs.
    void Settle();
    // The rest of the reply, checksum included, is `bytes` long: the port is told before each
    // wait, so it need not wake us for every few bytes of a long reply.
    void ExpectReply(std::size_t bytes) { replyAhead_ = bytes; }

    std::unique_ptr<InstrumentPort> tracer_;  // set when ZEMRIK_TRACE=1; wraps the caller's port
    InstrumentPort* port_;
    TickSource ticks_;
    MessagePump pump_;
    std::uint8_t checksum_ = 0;
    bool busy_ = false;
    std::atomic<bool> cancel_{false};  // set from any thread; cleared as an exchange starts
    bool settle_ = false;              // the last exchange was cancelled part-way
    std::size_t replyAhead_ = 0;       // bytes of the reply still to come, the awaited one included
    RootTable rootTable_;
    // Replies are read into these and committed only once complete and checked, so a failed
    // read leaves the caller's data alone; they are members so that an exchange allocates nothing.
    RootTable scratchRoot_;
    CableTable scratchCables_;
    MeasurementRecord scratchRecord_{};
};

}  // namespace zemrik
