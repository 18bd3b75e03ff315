#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "measurement/MeasurementRecord.h"

// Measurement files (*.zmk): a 32-byte header whose byte 0 is the count, then the records.
namespace zemrik {

inline constexpr std::size_t FileHeaderSize = 32;
using FileHeader = std::array<std::uint8_t, FileHeaderSize>;

// Reads the file; only on success do `header` and `list` take its header, count and records.
// Fails when the file cannot be opened, is shorter than its header says or says more than 200.
bool ReadMeasurementFile(const std::string& path, MeasurementList& list, FileHeader& header);

// Sets header[0] to the count and writes header and records. The old file is replaced only once
// the new one is complete; a failed write leaves it untouched.
bool WriteMeasurementFile(const std::string& path, const MeasurementList& list, FileHeader& header);

// "Не могу открыть файл NAME !" and "Не могу записать файл NAME !" (UTF-8), NAME being the file
// name part of the path.
std::string ReadErrorText(const std::string& path);
std::string WriteErrorText(const std::string& path);

}  // namespace zemrik
