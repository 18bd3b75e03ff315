#include "cables/CableTableFile.h"

#include <algorithm>

namespace zemrik {

namespace {
// The records lie back to back as in the file; read as bytes, they move with one copy.
static_assert(sizeof(CableTable::records) == CableRecordSize * CableTable::Capacity);
}  // namespace

bool ParseTableFile(std::span<const std::uint8_t> bytes, CableTable& table) {
    const std::size_t count = bytes.size() / CableRecordSize;
    // The table holds 64 records; a larger file is refused rather than cut short unnoticed.
    if (count > CableTable::Capacity) return false;
    std::copy_n(bytes.data(), CableRecordSize * count, reinterpret_cast<std::uint8_t*>(table.records.data()));
    table.count = static_cast<std::uint8_t>(count);
    return true;
}

std::vector<std::uint8_t> BuildTableFile(const CableTable& table) {
    if (table.count > CableTable::Capacity) return {};
    const auto* first = reinterpret_cast<const std::uint8_t*>(table.records.data());
    return std::vector<std::uint8_t>(first, first + CableRecordSize * table.count);
}

bool LoadTableFile(const std::string& path, CableTable& table) {
    const auto bytes = ReadFileBytes(path, CableFileReadLimit);
    return bytes && ParseTableFile(*bytes, table);
}

bool SaveTableFile(const std::string& path, const CableTable& table) {
    if (table.count > CableTable::Capacity) return false;
    const std::vector<std::uint8_t> bytes = BuildTableFile(table);
    return WriteFileAtomically(path, bytes);
}

}  // namespace zemrik
