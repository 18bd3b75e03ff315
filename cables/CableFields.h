#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/ByteAccess.h"

// The 32-byte cable layout. A record of the cable table holds it, and so does each section of a
// measurement record, which adds the section's length at 23; both read it through these.
namespace zemrik {

inline constexpr std::size_t CableRecordSize = 32;
using CableBytes = std::span<const std::uint8_t, CableRecordSize>;

namespace cab {
inline constexpr std::size_t Name = 0;  // 14 bytes, code page 1251
inline constexpr std::size_t Material = 14;
inline constexpr std::size_t C = 15;
inline constexpr std::size_t R = 19;
inline constexpr std::size_t Length = 23;  // sections only; reserved in a table record
inline constexpr std::size_t D = 27;       // hundredths of a millimetre
}  // namespace cab

inline float CableFloat(CableBytes b, std::size_t offset) { return ReadFloatLE(b.data() + offset); }

// The diameter byte as millimetres with two decimals ("0.90"), without a unit.
std::string DiameterText(CableBytes b, std::string_view sep);
// "Медь" for 0, "Алюминий" for any other byte.
std::string_view MaterialText(std::uint8_t material);

}  // namespace zemrik
