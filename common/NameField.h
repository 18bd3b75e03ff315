#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A name field: 14 bytes, left-aligned, padded with spaces, no terminator inside the field.
// The bytes are code page 1251 here; callers convert to UTF-8 for display.
namespace zemrik {

inline constexpr std::size_t NameLength = 14;
using NameField = std::array<std::uint8_t, NameLength>;

// The text of a field: its bytes up to the first NUL (at most 14), trailing spaces kept.
std::string NameText(const std::uint8_t* field);

// Display text of a field: NameText with trailing spaces removed; a field of 14 spaces stays
// 14 spaces.
std::string TrimName(const std::uint8_t* field);

// The first 14 bytes of text, padded with spaces to 14.
NameField PadName(std::string_view text);

}  // namespace zemrik
