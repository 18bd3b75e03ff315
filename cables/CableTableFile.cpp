#include "cables/CableTableFile.h"

#include <algorithm>
#include <span>
#include <vector>

#include "common/FileIO.h"

namespace zemrik {

bool LoadTableFile(const std::string& path, CableTable& table) {
    constexpr std::size_t largest = CableRecordSize * CableTable::Capacity;
    std::size_t fileSize = 0;
    const auto bytes = ReadFileBytes(path, largest, &fileSize);
    if (!bytes) return false;
    const std::size_t count = fileSize / CableRecordSize;
    // The table holds 64 records; a larger file is refused rather than cut short unnoticed.
    if (count > CableTable::Capacity) return false;
    if (bytes->size() < count * CableRecordSize) return false;

    // Filled in a copy first, so a failure can never leave the table half replaced.
    CableTable loaded = table;
    for (std::size_t i = 0; i < count; ++i) {
        const auto from = bytes->begin() + static_cast<std::ptrdiff_t>(CableRecordSize * i);
        std::copy_n(from, CableRecordSize, loaded.records[i].begin());
    }
    loaded.count = static_cast<std::uint8_t>(count);
    table = loaded;
    return true;
}

bool SaveTableFile(const std::string& path, const CableTable& table) {
    if (table.count > CableTable::Capacity) return false;
    std::vector<std::span<const std::uint8_t>> parts;
    parts.reserve(table.count);
    for (std::size_t i = 0; i < table.count; ++i) parts.emplace_back(table.records[i]);
    return WriteFileAtomically(path, parts);
}

}  // namespace zemrik
