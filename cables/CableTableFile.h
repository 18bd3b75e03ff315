#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cables/CableTable.h"
#include "common/FileIO.h"

// Cable table files (*.cbl): the records in use, 32 bytes each, back to back; no header.
namespace zemrik {

// A file of 64 records and one record more, so a file too large for the table is seen as such.
inline constexpr std::size_t CableFileReadLimit = CableRecordSize * (CableTable::Capacity + 1);

// The file's bytes into the table. Bytes past the last whole record are ignored. More than 64
// records fail and leave the table untouched.
bool ParseTableFile(std::span<const std::uint8_t> bytes, CableTable& table);
// The records in use (nothing for a count above 64).
std::vector<std::uint8_t> BuildTableFile(const CableTable& table);

// The same on a file; loading also fails when the file cannot be opened or read. The old file is
// replaced only once the new one is complete.
bool LoadTableFile(const std::string& path, CableTable& table);
bool SaveTableFile(const std::string& path, const CableTable& table);

}  // namespace zemrik
