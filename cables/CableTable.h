#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cables/CableFields.h"

// The instrument's table of cable types: up to 64 records of 32 raw bytes. Records always move
// whole, so the bytes the program does not interpret stay with their record.
namespace zemrik {

using CableRecord = std::array<std::uint8_t, CableRecordSize>;

struct CableTable {
    static constexpr int Capacity = 64;
    // The records in use are records[0] .. records[count - 1] (the window's slots 1 .. count).
    std::array<CableRecord, Capacity> records{};
    std::uint8_t count = 0;
};

float CableC(const CableRecord& r);
float CableR(const CableRecord& r);
void SetCableC(CableRecord& r, float value);
void SetCableR(CableRecord& r, float value);

// The five texts of a grid row (UTF-8): name, R, C, d, material.
std::string CableNameText(const CableRecord& r);  // TrimName of the name field, as UTF-8
std::string CableRText(const CableRecord& r, std::string_view sep);
std::string CableCText(const CableRecord& r, std::string_view sep);
std::string CableDText(const CableRecord& r, std::string_view sep);  // DiameterText

// Reading texts back. R and C: nearest single-precision value of the decimal text, nullopt for
// a text that is not a number or does not fit a float. Every R and C text shown reads back: the
// scientific form ("1,2346E5") too, and "НД" (a value that is not a number) as a quiet NaN, so a
// damaged value passes through the grid as no data instead of stopping it. d: millimetres * 100
// rounded, nullopt when not a number or when the result does not fit the byte (above 2.55 mm or
// below 0); d texts are never scientific nor "НД".
std::optional<float> ParseCableValue(std::string_view text, std::string_view sep);
// The same texts read as doubles: tells a number too large for a float from a text that is none.
std::optional<double> ParseCableValueWide(std::string_view text, std::string_view sep);
std::optional<std::uint8_t> ParseCableDiameter(std::string_view text, std::string_view sep);

}  // namespace zemrik
