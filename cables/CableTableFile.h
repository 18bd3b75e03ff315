#pragma once

#include <string>

#include "cables/CableTable.h"

// Cable table files (*.cbl): the records in use, 32 bytes each, back to back; no header.
namespace zemrik {

// Loads the file into the table. Bytes past the last whole record are ignored. A file that
// cannot be opened or read, or holds more than 64 records, fails and leaves the table untouched.
bool LoadTableFile(const std::string& path, CableTable& table);

// Writes the records in use. The old file is replaced only once the new one is complete.
bool SaveTableFile(const std::string& path, const CableTable& table);

}  // namespace zemrik
