#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zemrik {

// Bytes as hex, at most 16 to a line, each line starting with `lead` ("zemrik tx:"). Every line
// ends with a newline; no bytes give an empty string.
std::string HexDumpLines(std::string_view lead, const std::uint8_t* data, std::size_t count);

}  // namespace zemrik
