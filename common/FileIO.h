#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zemrik {

// Reads at most maxBytes of an existing file (the whole file when it is smaller), holding an
// exclusive lock on it while reading. nullopt when the file cannot be opened, locked or read.
// `fileSize` receives the file's full size when given.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes,
                                                       std::size_t* fileSize = nullptr);

// Writes the parts, in order, to a new file beside `path` and renames it over `path` only once
// every byte is written and flushed to disk. On any failure the old file stays as it was and no
// temporary file is left behind. An existing target keeps its permission bits (a new one gets
// 0644 less the umask); a target we may not write, or that is not a regular file, is refused.
// A symbolic link is followed: the file it points at is replaced. Returns true on success.
bool WriteFileAtomically(const std::string& path, std::span<const std::span<const std::uint8_t>> parts);

}  // namespace zemrik
