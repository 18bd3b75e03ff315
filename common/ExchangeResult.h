#pragma once

#include <cstdint>

// What an exchange with the instrument returns: one byte. Reads give Ok or Failed. Writes give
// the instrument's own result byte (Ok written, Failed write error, NoRoom memory full), or
// Failed when no answer came; a deletion gives its result byte, or DeleteUnanswered.
namespace zemrik::result {

inline constexpr std::uint8_t Ok = 0;
inline constexpr std::uint8_t Failed = 1;
inline constexpr std::uint8_t NoRoom = 2;
inline constexpr std::uint8_t DeleteUnanswered = 2;

}  // namespace zemrik::result
