#include "cables/CableTableFile.h"

#include <algorithm>

namespace zemrik {

bool ParseTableFile(std::span<const std::uint8_t> bytes, CableTable& table) {
    const std::size_t count = bytes.size() / CableRecordSize;
    // The table holds 64 records; a larger file is refused rather than cut short unnoticed.
    if (count > CableTable::Capacity) return false;
    for (std::size_t i = 0; i < count; ++i)
        std::copy_n(bytes.subspan(CableRecordSize * i).begin(), CableRecordSize, table.records[i].begin());
    table.count = static_cast<std::uint8_t>(count);
    return true;
}

std::vector<std::uint8_t> BuildTableFile(const CableTable& table) {
    std::vector<std::uint8_t> bytes;
    if (table.count > CableTable::Capacity) return bytes;
    bytes.reserve(CableRecordSize * table.count);
    for (std::size_t i = 0; i < table.count; ++i)
        bytes.insert(bytes.end(), table.records[i].begin(), table.records[i].end());
    return bytes;
}

bool LoadTableFile(const std::string& path, CableTable& table) {
    const auto bytes = ReadFileBytes(path, CableFileReadLimit);
    return bytes && ParseTableFile(*bytes, table);
}

bool SaveTableFile(const std::string& path, const CableTable& table) {
    if (table.count > CableTable::Capacity) return false;
    const std::vector<std::uint8_t> bytes = BuildTableFile(table);
    const std::span<const std::uint8_t> parts[] = {bytes};
    return WriteFileAtomically(path, parts);
}

}  // namespace zemrik
