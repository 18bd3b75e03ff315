#include "protocol/InstrumentProtocol.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <utility>

#include "common/CodePage.h"
#include "common/ExchangeResult.h"
#include "protocol/TracingPort.h"

namespace zemrik {

std::uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Marks an exchange as under way for the lifetime of one operation, so that an operation started
// from the message pump is turned away instead of mixing its bytes into ours.
class InstrumentProtocol::ExchangeGuard {
public:
    explicit ExchangeGuard(InstrumentProtocol& owner) : owner_(owner), acquired_(!owner.busy_) {
        if (!acquired_) return;
        owner_.busy_ = true;
        owner_.cancel_ = false;
    }
    ~ExchangeGuard() {
        if (!acquired_) return;
        if (owner_.cancel_) owner_.settle_ = true;
        owner_.busy_ = false;
        owner_.replyAhead_ = 0;
        owner_.port_->ExpectBytes(1);  // whatever comes now is not part of a reply we wait for
    }
    ExchangeGuard(const ExchangeGuard&) = delete;
    ExchangeGuard& operator=(const ExchangeGuard&) = delete;
    bool Acquired() const { return acquired_; }

private:
    InstrumentProtocol& owner_;
    bool acquired_;
};

InstrumentProtocol::InstrumentProtocol(InstrumentPort& port, TickSource ticks, MessagePump pump)
    : port_(&port), ticks_(std::move(ticks)), pump_(std::move(pump)) {
    if (!ticks_) ticks_ = SteadyMilliseconds;
    if (TraceRequested()) {
        tracer_ = std::make_unique<TracingPort>(port, std::cerr);
        port_ = tracer_.get();
    }
}

InstrumentProtocol::~InstrumentProtocol() = default;

void InstrumentProtocol::Pump(std::uint32_t maxWaitMs) {
    if (pump_) pump_(maxWaitMs);
}

void InstrumentProtocol::Settle() {
    settle_ = false;
    const std::uint64_t end = ticks_() + proto::SettleMaxMs;
    std::uint8_t stale = 0;
    while (ticks_() < end && ReceiveByte(proto::SettleQuietMs, stale) == result::Ok) {
    }
}

std::uint8_t InstrumentProtocol::SyncInstrument() {
    if (settle_) Settle();
    port_->FlushInBuffer();
    port_->FlushOutBuffer();
    port_->PutChar(proto::SyncFirst);
    port_->PutChar(proto::SyncSecond);
    std::uint8_t answer = 0;
    if (ReceiveByte(proto::HandshakeTimeout, answer) != 0) return result::Failed;
    return answer == proto::SyncAnswer ? result::Ok : result::Failed;
}

void InstrumentProtocol::SendByte(std::uint8_t c) {
    checksum_ = static_cast<std::uint8_t>(checksum_ + c);
    port_->PutChar(c);
}

void InstrumentProtocol::SendBlock(const std::uint8_t* data, std::size_t count) {
    port_->PutBlock(data, static_cast<int>(count));
    for (std::size_t i = 0; i < count; ++i) checksum_ = static_cast<std::uint8_t>(checksum_ + data[i]);
}

std::uint8_t InstrumentProtocol::ReceiveByte(std::uint32_t timeoutMs, std::uint8_t& out) {
    const std::uint64_t deadline = ticks_() + timeoutMs;
    for (;;) {
        // The deadline is checked before the port, so a byte that arrives exactly at the deadline
        // is already late.
        const std::uint64_t now = ticks_();
        if (now >= deadline || cancel_) return result::Failed;
        if (port_->CharReady()) {
            out = port_->GetChar();
            if (replyAhead_ > 0) --replyAhead_;
            return result::Ok;
        }
        auto wait = static_cast<std::uint32_t>(deadline - now);
        const std::size_t wanted = std::max<std::size_t>(replyAhead_, 1);
        port_->ExpectBytes(static_cast<int>(std::min<std::size_t>(wanted, 0x7fffffff)));
        // The port may now stay quiet until the whole rest of the reply is in: if the line stalls
        // part-way, look again soon, so the bytes that did come are taken before their deadlines.
        if (wanted > 1) wait = std::min(wait, proto::GatherWaitMs);
        Pump(wait);
    }
}

std::uint8_t InstrumentProtocol::ReceiveCountedByte(std::uint32_t timeoutMs, std::uint8_t& out) {
    const std::uint8_t received = ReceiveByte(timeoutMs, out);
    if (received == result::Ok) checksum_ = static_cast<std::uint8_t>(checksum_ + out);
    return received;
}

std::uint8_t InstrumentProtocol::ReceiveCountedBlock(std::uint32_t timeoutMs, std::uint8_t* buffer,
                                                     std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (ReceiveCountedByte(timeoutMs, buffer[i]) != 0) return result::Failed;
        Pump(0);
    }
    return result::Ok;
}

bool InstrumentProtocol::ReceiveReplyChecksum() {
    std::uint8_t expected = 0;
    if (ReceiveByte(proto::ReadReplyTimeout, expected) != 0) return false;
    return expected == checksum_;
}

bool InstrumentProtocol::ReceiveTableHeader(std::uint8_t command, std::uint8_t& count, int capacity) {
    ClearChecksum();
    if (SyncInstrument() != 0) return false;
    SendByte(command);
    SendByte(checksum_);

    std::uint8_t status = 0;
    if (ReceiveByte(proto::ReadReplyTimeout, status) != 0 || status != 0) return false;

    ClearChecksum();
    if (ReceiveCountedByte(proto::ReadReplyTimeout, count) != 0) return false;
    // A count the table cannot hold would make us write past it; such a reply is refused here,
    // before any entry is taken.
    return count <= capacity;
}

std::uint8_t InstrumentProtocol::ReadRootTable() {
    ExchangeGuard guard(*this);
    if (!guard.Acquired()) return result::Failed;

    scratchRoot_ = rootTable_;
    if (!ReceiveTableHeader(proto::CmdReadRootTable, scratchRoot_.count, RootTable::Capacity))
        return result::Failed;
    ExpectReply(scratchRoot_.count * scratchRoot_.entries[0].size() + 1);
    for (int i = 0; i < scratchRoot_.count; ++i) {
        auto& entry = scratchRoot_.entries[i];
        if (ReceiveCountedBlock(proto::ReadReplyTimeout, entry.data(), entry.size()) != 0)
            return result::Failed;
    }
    if (!ReceiveReplyChecksum()) return result::Failed;
    for (int i = 0; i < scratchRoot_.count; ++i) {
        ConvertCodePage(scratchRoot_.entries[i].data(), proto::WireNameLength, CodePageDirection::OemToAnsi);
    }
    rootTable_ = scratchRoot_;
    return result::Ok;
}

std::uint8_t InstrumentProtocol::ReadRecord(std::uint8_t n, MeasurementRecord* buffer) {
    if (buffer == nullptr) return result::Failed;
    ExchangeGuard guard(*this);
    if (!guard.Acquired()) return result::Failed;

    ClearChecksum();
    if (SyncInstrument() != 0) return result::Failed;
    SendByte(proto::CmdReadRecord);
    SendByte(n);
    SendByte(checksum_);

    std::uint8_t status = 0;
    if (ReceiveByte(proto::ReadReplyTimeout, status) != 0 || status != 0) return result::Failed;
    ExpectReply(scratchRecord_.size() + 1);
    ClearChecksum();
    if (ReceiveCountedBlock(proto::ReadReplyTimeout, scratchRecord_.data(), scratchRecord_.size()) != 0)
        return result::Failed;
    if (!ReceiveReplyChecksum()) return result::Failed;

    ConvertRecordNames(scratchRecord_, CodePageDirection::OemToAnsi);
    *buffer = scratchRecord_;
    return result::Ok;
}

std::uint8_t InstrumentProtocol::WriteRecord(std::string_view name, const MeasurementRecord& record) {
    ExchangeGuard guard(*this);
    if (!guard.Acquired()) return result::Failed;

    // The name is text: it ends at its first NUL, and is cut to the field or padded with spaces.
    std::uint8_t wireName[proto::WireNameLength];
    std::memset(wireName, ' ', sizeof wireName);
    for (std::size_t i = 0; i < name.size() && i < sizeof wireName && name[i] != '\0'; ++i) {
        wireName[i] = static_cast<std::uint8_t>(name[i]);
    }
    ConvertCodePage(wireName, sizeof wireName, CodePageDirection::AnsiToOem);

    if (SyncInstrument() != 0) return result::Failed;

    // A converted copy goes on the line: the caller's record keeps its 1251 bytes exactly, even
    // for characters 866 cannot hold.
    scratchRecord_ = record;
    ConvertRecordNames(scratchRecord_, CodePageDirection::AnsiToOem);
    ClearChecksum();
    SendByte(proto::CmdWriteRecord);
    SendBlock(wireName, sizeof wireName);
    SendBlock(scratchRecord_.data(), scratchRecord_.size());
    SendByte(checksum_);

    std::uint8_t answer = 0;
    if (ReceiveByte(proto::WriteRecordResultTimeout, answer) != 0) return result::Failed;
    std::uint8_t further = 0;
    ReceiveByte(proto::WriteRecordFurtherTimeout, further);  // its value and absence mean nothing
    return answer;
}

std::uint8_t InstrumentProtocol::DeleteRecord(std::uint8_t n) {
    ExchangeGuard guard(*this);
    if (!guard.Acquired()) return result::DeleteUnanswered;

    if (SyncInstrument() != 0) return result::DeleteUnanswered;
    ClearChecksum();
    SendByte(proto::CmdDeleteRecord);
    SendByte(n);
    SendByte(checksum_);

    std::uint8_t answer = 0;
    if (ReceiveByte(proto::DeleteResultTimeout, answer) != 0) return result::DeleteUnanswered;
    std::uint8_t further = 0;
    ReceiveByte(proto::DeleteFurtherTimeout, further);  // its value and absence mean nothing
    return answer;
}

std::uint8_t InstrumentProtocol::ReadCableTable(CableTable& table) {
    ExchangeGuard guard(*this);
    if (!guard.Acquired()) return result::Failed;

    scratchCables_ = table;
    if (!ReceiveTableHeader(proto::CmdReadCableTable, scratchCables_.count, CableTable::Capacity))
        return result::Failed;
    ExpectReply(scratchCables_.count * scratchCables_.records[0].size() + 1);
    for (int i = 0; i < scratchCables_.count; ++i) {
        auto& record = scratchCables_.records[i];
        if (ReceiveCountedBlock(proto::ReadReplyTimeout, record.data(), record.size()) != 0)
            return result::Failed;
    }
    if (!ReceiveReplyChecksum()) return result::Failed;
    for (int i = 0; i < scratchCables_.count; ++i) {
        ConvertCodePage(scratchCables_.records[i].data() + cab::Name, proto::WireNameLength,
                        CodePageDirection::OemToAnsi);
    }
    table = scratchCables_;
    return result::Ok;
}

std::uint8_t InstrumentProtocol::WriteCableTable(const CableTable& table) {
    // Sending a count the table cannot hold would read past its records.
    if (table.count > CableTable::Capacity) return result::Failed;
    ExchangeGuard guard(*this);
    if (!guard.Acquired()) return result::Failed;

    if (SyncInstrument() != 0) return result::Failed;
    ClearChecksum();
    SendByte(proto::CmdWriteCableTable);
    SendByte(table.count);
    for (int i = 0; i < table.count; ++i) {
        CableRecord wire = table.records[i];
        ConvertCodePage(wire.data() + cab::Name, proto::WireNameLength, CodePageDirection::AnsiToOem);
        SendBlock(wire.data(), wire.size());
    }
    SendByte(checksum_);

    std::uint8_t answer = 0;
    if (ReceiveByte(proto::WriteCableResultTimeout, answer) != 0) return result::Failed;
    return answer;
}

}  // namespace zemrik
