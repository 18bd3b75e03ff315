#include "support/FakeInstrument.h"

#include <algorithm>
#include <cstring>

namespace zemrik::test {

bool FakeInstrument::Start(std::string entry) {
    cancelled_ = false;
    log.push_back(entry);
    if (during) during(entry);
    return !cancelled_;
}

std::uint8_t FakeInstrument::ReadRootTable() {
    if (!Start("root")) return 1;
    if (rootResult != 0) return rootResult;
    root_ = {};
    root_.count = static_cast<std::uint8_t>(std::min<std::size_t>(records.size(), RootTable::Capacity));
    for (int i = 0; i < root_.count; ++i) std::memcpy(root_.entries[i].data(), records[i].data(), 14);
    return 0;
}

std::uint8_t FakeInstrument::ReadRecord(std::uint8_t n, MeasurementRecord* buffer) {
    if (!Start("read " + std::to_string(n))) return 1;
    if (auto it = readFailures.find(n); it != readFailures.end()) return it->second;
    if (buffer == nullptr || n >= records.size()) return 1;
    *buffer = records[n];
    return 0;
}

std::uint8_t FakeInstrument::WriteRecord(std::string_view name, const MeasurementRecord& record) {
    std::string field(name.substr(0, 14));
    field.resize(14, ' ');
    if (!Start("write " + field)) return 1;
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
    if (!Start("delete " + std::to_string(n))) return 2;
    if (auto it = deleteResults.find(n); it != deleteResults.end()) return it->second;
    if (n >= records.size()) return 1;
    records.erase(records.begin() + n);
    return 0;
}

std::uint8_t FakeInstrument::ReadCableTable(CableTable& table) {
    if (!Start("cables get")) return 1;
    if (cableReadResult == 0) table = cables;
    return cableReadResult;
}

std::uint8_t FakeInstrument::WriteCableTable(const CableTable& table) {
    if (!Start("cables put")) return 1;
    if (cableWriteResult == 0) cables = table;
    return cableWriteResult;
}

}  // namespace zemrik::test
