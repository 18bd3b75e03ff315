#include "common/FileIO.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace zemrik {
namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (a write error can surface only here).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The process umask without touching it: changing it, even briefly, would race other threads
// that create files.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

std::string FolderOf(const std::string& path) {
    const auto cut = path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return path.substr(0, cut);
}

// Saving through a symbolic link replaces the file it points at, not the link.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes,
                                                       std::size_t* fileSize) {
    // O_NONBLOCK keeps a FIFO from hanging the open; only regular files are read.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    // Another copy of the program reading or saving the same file at this moment makes this fail,
    // as a file opened without sharing would.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);

    const auto size = static_cast<std::size_t>(st.st_size);
    if (fileSize != nullptr) *fileSize = size;
    std::vector<std::uint8_t> bytes(std::min(size, maxBytes));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.Get(), bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;  // the file shrank since fstat; the caller sees the short result
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

bool WriteFileAtomically(const std::string& path, std::span<const std::span<const std::uint8_t>> parts) {
    if (path.empty()) return false;
    const std::string target = ResolveTarget(path);
    mode_t mode = 0644 & ~CurrentUmask();
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode)) return false;
        // The rename would replace a file the user made read-only; refuse, as opening it would.
        if (::access(target.c_str(), W_OK) != 0) return false;
        mode = old.st_mode & 07777;
    }

    const std::string folder = FolderOf(target);
    // Beside the target, so the rename stays within one file system; the name is cut so that
    // the suffix never pushes it past the longest name a folder entry may have.
    const std::string base = target.substr(target.find_last_of('/') + 1);
    std::string tempName = (folder == "/" ? "" : folder) + "/" + base.substr(0, 200) + ".XXXXXX";
    UniqueFd fd(::mkostemp(tempName.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;

    bool ok = ::fchmod(fd.Get(), mode) == 0;
    for (const auto& part : parts) {
        if (!ok) break;
        ok = WriteAll(fd.Get(), part.data(), part.size());
    }
    ok = ok && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(tempName.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempName.c_str());
        return false;
    }
    // The new file is in place; syncing the folder makes the rename itself survive a power cut.
    // A folder that cannot be synced does not undo the save.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) ::fsync(dir.Get());
    return true;
}

}  // namespace zemrik
