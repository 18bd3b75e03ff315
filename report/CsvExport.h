#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Prompt.h"
#include "measurement/MeasurementRecord.h"

// The records as CSV for a spreadsheet: one row per record, one column per value in a fixed
// unit named in its heading, sections as further columns of the same row. Fields are separated
// by ';' (a Russian spreadsheet's list separator, and free of the decimal comma), quoted by
// RFC 4180 where needed, lines end in CR LF, and the text is UTF-8 behind a byte-order mark so
// spreadsheets do not take it for the ANSI code page.
namespace zemrik {

inline constexpr std::string_view CsvFileFilter = "CSV (*.csv)";
inline constexpr std::string_view CsvFileSuffix = "csv";

// The file's bytes for the given lines of the list (as ReportLines chooses them). A value the
// panel shows as a number is written as the stored number in the column's unit, exactly (the
// shortest decimal that reads back to the same single-precision value, scaled by a power of ten
// where the unit asks for it) with `decimalSeparator`; a value the panel shows as over-range
// keeps the panel's text ("> 10000 Ом"); a value that is no number, or that the record's kind
// does not have, is an empty cell.
std::string BuildCsv(const MeasurementList& list, const std::vector<int>& lines,
                     std::string_view decimalSeparator);

// The number as a CSV cell: shortest round-trip decimal of v times 10^decimalShift, never in
// scientific form and never "-0"; empty when v is not a finite number.
std::string CsvNumber(float v, int decimalShift, std::string_view decimalSeparator);

// One field, quoted when it holds ';', '"', CR or LF (quotes inside doubled).
std::string CsvField(std::string_view text);

// The window's "Экспорт CSV...": asks for a file name (save dialog starting in `startFolder`,
// asking before overwriting) and writes the file through the safe file writing; a failed write
// says so through the prompt. True when the file was written, false when the user cancelled or
// it failed.
bool ExportCsv(const MeasurementList& list, const std::vector<int>& lines, std::string_view decimalSeparator,
               Prompt& prompt, const std::string& startFolder);

}  // namespace zemrik
