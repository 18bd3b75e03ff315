#include "sim/InstrumentEmulator.h"

#include <algorithm>
#include <utility>

#include "common/CodePage.h"

namespace zemrik {

namespace {

constexpr std::uint8_t SyncFirst = 0x55;
constexpr std::uint8_t SyncSecond = 0xAA;
constexpr std::uint8_t ReadRootTable = 0x30;
constexpr std::uint8_t ReadRecord = 0x31;
constexpr std::uint8_t WriteRecord = 0x32;
constexpr std::uint8_t DeleteRecord = 0x33;
constexpr std::uint8_t ReadCableTable = 0x40;
constexpr std::uint8_t WriteCableTable = 0x41;

constexpr std::size_t NameBytes = 14;
constexpr std::size_t WriteRecordFrame = 1 + NameBytes + RecordSize + 1;
constexpr std::uint8_t FurtherByte = 0x00;

bool IsCommand(std::uint8_t c) {
    return c == ReadRootTable || c == ReadRecord || c == WriteRecord || c == DeleteRecord ||
           c == ReadCableTable || c == WriteCableTable;
}

std::uint8_t Sum(const std::uint8_t* data, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

void ConvertCableNames(CableTable& table, CodePageDirection direction) {
    for (int i = 0; i < table.count && i < CableTable::Capacity; ++i) {
        ConvertCodePage(table.records[i].data() + cab::Name, NameBytes, direction);
    }
}

}  // namespace

InstrumentEmulator::InstrumentEmulator(int capacity) { SetCapacity(capacity); }

void InstrumentEmulator::SetCapacity(int capacity) { capacity_ = std::clamp(capacity, 0, MaxRecords); }

void InstrumentEmulator::AddRecord(const MeasurementRecord& oemRecord) {
    if (records_.size() < static_cast<std::size_t>(MaxRecords)) records_.push_back(oemRecord);
}

bool InstrumentEmulator::RemoveRecord(std::size_t n) {
    if (n >= records_.size()) return false;
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(n));
    return true;
}

void InstrumentEmulator::LoadRecords(const MeasurementList& list) {
    records_.clear();
    const int count = std::min<int>(list.count, MeasurementList::Capacity);
    for (int i = 0; i < count; ++i) {
        MeasurementRecord r = list.slots[i];
        ConvertRecordNames(r, CodePageDirection::AnsiToOem);
        records_.push_back(r);
    }
}

void InstrumentEmulator::StoreRecords(MeasurementList& list) const {
    list.count = static_cast<std::uint8_t>(records_.size());
    for (std::size_t i = 0; i < records_.size(); ++i) {
        list.slots[i] = records_[i];
        ConvertRecordNames(list.slots[i], CodePageDirection::OemToAnsi);
    }
}

void InstrumentEmulator::LoadCables(const CableTable& table) {
    cables_ = table;
    if (cables_.count > CableTable::Capacity) cables_.count = CableTable::Capacity;
    ConvertCableNames(cables_, CodePageDirection::AnsiToOem);
}

void InstrumentEmulator::StoreCables(CableTable& table) const {
    table = cables_;
    ConvertCableNames(table, CodePageDirection::OemToAnsi);
}

void InstrumentEmulator::Reset() {
    state_ = State::Idle;
    frame_.clear();
}

std::vector<EmulatorReply> InstrumentEmulator::Receive(std::span<const std::uint8_t> bytes) {
    std::vector<EmulatorReply> replies;
    for (std::uint8_t b : bytes) Step(b, replies);
    return replies;
}

void InstrumentEmulator::Step(std::uint8_t byte, std::vector<EmulatorReply>& replies) {
    switch (state_) {
        case State::Idle:
            if (byte == SyncFirst) state_ = State::Synced1;
            return;
        case State::Synced1:
            if (byte == SyncSecond) {
                ++handshakesHeard_;
                if (faults_.noHandshake) {
                    state_ = State::Idle;
                    return;
                }
                replies.push_back({faults_.handshakeDelayMs, {faults_.handshakeByte}});
                state_ = State::AwaitCommand;
            } else if (byte != SyncFirst) {
                state_ = State::Idle;
            }
            return;
        case State::AwaitCommand:
            if (IsCommand(byte)) {
                frame_.assign(1, byte);
                state_ = State::Frame;
            } else {
                // A new handshake, or noise: either way the pending exchange is over.
                state_ = byte == SyncFirst ? State::Synced1 : State::Idle;
            }
            return;
        case State::Frame:
            frame_.push_back(byte);
            if (Missing() == 0) {
                Execute(replies);
                Reset();
            }
            return;
    }
}

std::size_t InstrumentEmulator::Missing() const {
    std::size_t total = 0;
    switch (frame_[0]) {
        case ReadRootTable:
        case ReadCableTable:
            total = 2;
            break;
        case ReadRecord:
        case DeleteRecord:
            total = 3;
            break;
        case WriteRecord:
            total = WriteRecordFrame;
            break;
        case WriteCableTable:
            // The count byte says how long the rest is; the instrument takes in all of it even when
            // it has no room, so that the line stays in step.
            if (frame_.size() < 2) return 1;
            total = 2 + CableRecordSize * frame_[1] + 1;
            break;
    }
    return total > frame_.size() ? total - frame_.size() : 0;
}

void InstrumentEmulator::Reply(std::vector<std::uint8_t> bytes, std::vector<EmulatorReply>& replies) const {
    if (faults_.stopAfter && bytes.size() > *faults_.stopAfter) bytes.resize(*faults_.stopAfter);
    if (!bytes.empty()) replies.push_back({faults_.delayMs, std::move(bytes)});
}

void InstrumentEmulator::ReadReply(std::vector<std::uint8_t> body,
                                   std::vector<EmulatorReply>& replies) const {
    if (faults_.status != 0) {
        Reply({faults_.status}, replies);
        return;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(body.size() + 2);
    bytes.push_back(0);
    bytes.insert(bytes.end(), body.begin(), body.end());
    std::uint8_t sum = Sum(body.data(), body.size());
    if (faults_.badChecksum) sum = static_cast<std::uint8_t>(sum + 1);
    bytes.push_back(sum);
    Reply(std::move(bytes), replies);
}

void InstrumentEmulator::ResultReply(std::uint8_t result, bool withFurther,
                                     std::vector<EmulatorReply>& replies) const {
    std::vector<std::uint8_t> bytes{result};
    if (withFurther && !faults_.noFurtherByte) bytes.push_back(FurtherByte);
    Reply(std::move(bytes), replies);
}

void InstrumentEmulator::Execute(std::vector<EmulatorReply>& replies) {
    const std::uint8_t command = frame_[0];
    const bool checksumOk = Sum(frame_.data(), frame_.size() - 1) == frame_.back();

    switch (command) {
        case ReadRootTable: {
            if (!checksumOk) return Reply({1}, replies);
            std::vector<std::uint8_t> body{static_cast<std::uint8_t>(records_.size())};
            for (const MeasurementRecord& r : records_) {
                body.insert(body.end(), r.begin(), r.begin() + NameBytes);
                // The two bytes after the name: the record's kind and section count, and 0.
                body.push_back(r[rec::KindSections]);
                body.push_back(0);
            }
            return ReadReply(std::move(body), replies);
        }
        case ReadRecord: {
            const std::size_t n = frame_[1];
            if (!checksumOk || n >= records_.size()) return Reply({1}, replies);
            return ReadReply({records_[n].begin(), records_[n].end()}, replies);
        }
        case WriteRecord: {
            if (!checksumOk) return ResultReply(1, true, replies);
            if (faults_.refuseWrites) return ResultReply(*faults_.refuseWrites, true, replies);
            if (records_.size() >= static_cast<std::size_t>(capacity_)) return ResultReply(2, true, replies);
            MeasurementRecord r;
            std::copy_n(frame_.begin() + 1 + NameBytes, RecordSize, r.begin());
            std::copy_n(frame_.begin() + 1, NameBytes, r.begin());  // stored under the name sent
            records_.push_back(r);
            return ResultReply(0, true, replies);
        }
        case DeleteRecord: {
            if (!checksumOk || !RemoveRecord(frame_[1])) return ResultReply(1, true, replies);
            return ResultReply(0, true, replies);
        }
        case ReadCableTable: {
            if (!checksumOk) return Reply({1}, replies);
            std::vector<std::uint8_t> body{cables_.count};
            for (int i = 0; i < cables_.count; ++i) {
                body.insert(body.end(), cables_.records[i].begin(), cables_.records[i].end());
            }
            return ReadReply(std::move(body), replies);
        }
        case WriteCableTable: {
            if (!checksumOk) return ResultReply(1, false, replies);
            if (faults_.refuseWrites) return ResultReply(*faults_.refuseWrites, false, replies);
            const int count = frame_[1];
            if (count > CableTable::Capacity) return ResultReply(2, false, replies);
            CableTable table;
            table.count = static_cast<std::uint8_t>(count);
            for (int i = 0; i < count; ++i) {
                std::copy_n(frame_.begin() + 2 + CableRecordSize * static_cast<std::size_t>(i),
                            CableRecordSize, table.records[i].begin());
            }
            cables_ = table;
            return ResultReply(0, false, replies);
        }
    }
}

}  // namespace zemrik
