#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/FileIO.h"
#include "measurement/MeasurementRecord.h"

// Measurement files (*.zmk): a 32-byte header whose byte 0 is the count, then the records.
namespace zemrik {

inline constexpr std::size_t FileHeaderSize = 32;
using FileHeader = std::array<std::uint8_t, FileHeaderSize>;
// A file of 200 records; anything past it is never read.
inline constexpr std::size_t LargestMeasurementFile = FileHeaderSize + RecordSize * MeasurementList::Capacity;

// The file's bytes; only on success do `header` and `list` take its header, count and records.
// Fails when the bytes are shorter than the header says or it says more than 200. Bytes past the
// last record are ignored; slots past the count keep what they held.
bool ParseMeasurementFile(std::span<const std::uint8_t> bytes, MeasurementList& list, FileHeader& header);
// Sets header[0] to the count; the header then the records in use (nothing for a count above 200).
std::vector<std::uint8_t> BuildMeasurementFile(const MeasurementList& list, FileHeader& header);

// The same on a file; reading also fails when the file cannot be opened or read. The old file
// is replaced only once the new one is complete; a failed write leaves it untouched.
bool ReadMeasurementFile(const std::string& path, MeasurementList& list, FileHeader& header);
bool WriteMeasurementFile(const std::string& path, const MeasurementList& list, FileHeader& header);

}  // namespace zemrik
