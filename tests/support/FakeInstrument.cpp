#include "support/FakeInstrument.h"

#include <algorithm>
#include <cstring>

namespace zemrik::test {

std::uint8_t FakeInstrument::ReadRootTable() {
    log.push_back("root");
    if (rootResult != 0) return rootResult;
    root_ = {};
    root_.count = static_cast<std::uint8_t>(std::min<std::size_t>(records.size(), RootTable::Capacity));
    for (int i = 0; i < root_.count; ++i) std::memcpy(root_.entries[i].data(), records[i].data(), 14);
    return 0;
}

std::uint8_t FakeInstrument::ReadRecord(std::uint8_t n, MeasurementRecord* buffer) {
    log.push_back("read " + std::to_string(n));
    if (auto it = readFailures.find(n); it != readFailures.end()) return it->second;
    if (buffer == nullptr || n >= records.size()) return 1;
    *buffer = records[n];
    return 0;
}

std::uint8_t FakeInstrument::WriteRecord(std::string_view name, const MeasurementRecord& record) {
    std::string field(name.substr(0, 14));
    field.resize(14, ' ');
    log.push_back("write " + field);
    const std::uint8_t result = writeResults.empty() ? 0 : writeResults.front();
    if (!writeResults.empty()) writeResults.erase(writeResults.begin());
    if (result == 0) {
        MeasurementRecord stored = record;
        std::memcpy(stored.data(), field.data(), 14);
        records.push_back(stored);
    }
    return result;
}

std::uint8_t FakeInstrument::DeleteRecord(std::uint8_t n) {
    log.push_back("delete " + std::to_string(n));
    if (auto it = deleteResults.find(n); it != deleteResults.end()) return it->second;
    if (n >= records.size()) return 1;
    records.erase(records.begin() + n);
    return 0;
}

std::uint8_t FakeInstrument::ReadCableTable(CableTable& table) {
    log.push_back("cables get");
    if (cableReadResult == 0) table = cables;
    return cableReadResult;
}

std::uint8_t FakeInstrument::WriteCableTable(const CableTable& table) {
    log.push_back("cables put");
    if (cableWriteResult == 0) cables = table;
    return cableWriteResult;
}

}  // namespace zemrik::test
