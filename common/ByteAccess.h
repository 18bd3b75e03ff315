#pragma once

#include <cstdint>
#include <cstring>

// Records keep their floats at odd offsets, little-endian. They are always copied byte-wise;
// never cast a record to a packed struct.
namespace zemrik {

inline float ReadFloatLE(const std::uint8_t* p) {
    std::uint32_t bits = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                         (std::uint32_t{p[3]} << 24);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

inline void WriteFloatLE(std::uint8_t* p, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    p[0] = static_cast<std::uint8_t>(bits);
    p[1] = static_cast<std::uint8_t>(bits >> 8);
    p[2] = static_cast<std::uint8_t>(bits >> 16);
    p[3] = static_cast<std::uint8_t>(bits >> 24);
}

}  // namespace zemrik
