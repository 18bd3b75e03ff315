#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Code page conversions at the program's edges. Names live in code page 1251 inside the
// program and its files, in 866 on the instrument's line, and in UTF-8 on screen.
namespace zemrik {

enum class CodePageDirection { OemToAnsi, AnsiToOem };  // 866 -> 1251, 1251 -> 866

std::uint8_t OemToAnsi(std::uint8_t c);
std::uint8_t AnsiToOem(std::uint8_t c);

// Converts a fixed run of bytes in place; never stops at a NUL.
void ConvertCodePage(std::uint8_t* bytes, std::size_t length, CodePageDirection direction);

// 1251 bytes -> UTF-8. The one byte 1251 leaves undefined (0x98) becomes U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);
// 866 bytes -> UTF-8 (for traces and the emulator's listings).
std::string OemToUtf8(std::string_view oem);
// UTF-8 -> 1251. Characters 1251 cannot hold, and malformed sequences, become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace zemrik
