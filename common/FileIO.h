#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zemrik {

// Reads at most maxBytes of an existing regular file (the whole file when it is smaller) under
// a shared lock, where the filesystem has locks. nullopt when the file cannot be opened or read,
// or another process rewrites it at this moment.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes);

// The system calls that decide whether a save survives a power cut, in the order they are made:
// the new file's bytes written and flushed, then renamed over the old, then the folder flushed.
// A test hands in recording ones to see that order.
struct FileCalls {
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    std::function<int(const char* from, const char* to)> rename;
};
const FileCalls& SystemFileCalls();

// Writes the bytes to a new file beside `path` and renames it over `path` only once
// every byte is written and flushed to disk; on a failure the old file stays as it was and no
// temporary is left. An existing target keeps its permission bits, and its owner and group where
// the process may give them (a new file gets 0644 less the umask). A target we may not write, or
// that is not a regular file, is refused. A symbolic link is followed, also to a file not there
// yet. Where no temporary can be made or renamed beside an existing file we may write (a folder
// we may not write, a sticky folder), the file is rewritten in place instead. True on success.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         const FileCalls& calls = SystemFileCalls());

}  // namespace zemrik
