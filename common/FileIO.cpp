#include "common/FileIO.h"

#include "common/Paths.h"

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

bool WriteAll(const FileCalls& calls, int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = calls.write(fd, data, size);
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

// Saving through a symbolic link writes the file it points at, not over the link, also when
// that file does not exist yet. nullopt for a loop of links or one that cannot be read.
std::optional<std::string> ResolveTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return std::nullopt;
        link.resize(static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : FolderPart(path) + "/" + link;
    }
    return std::nullopt;
}

bool WriteAndSync(const FileCalls& calls, int fd, std::span<const std::uint8_t> bytes) {
    return WriteAll(calls, fd, bytes.data(), bytes.size()) && calls.fsync(fd) == 0;
}

// The last resort when no temporary can stand beside the target (a folder the user may not
// write, a sticky folder holding someone else's file): the file itself is rewritten. A failure
// part-way leaves it damaged, which is why this is never the first choice.
bool WriteInPlace(const FileCalls& calls, const std::string& target, std::span<const std::uint8_t> bytes) {
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // Readers take a shared lock: held while writing, it keeps them from a half-written file.
    // Where it cannot be had the save goes on; the user asked for it.
    ::flock(fd.Get(), LOCK_EX | LOCK_NB);
    bool ok = ::ftruncate(fd.Get(), 0) == 0 && WriteAndSync(calls, fd.Get(), bytes);
    return fd.Close() && ok;
}

}  // namespace

const FileCalls& SystemFileCalls() {
    static const FileCalls calls{::write, ::fsync, ::rename};
    return calls;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK keeps a FIFO from hanging the open; only regular files are read.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    // A shared lock: other readers never stand in the way, a writer rewriting the file in place
    // (which holds it exclusively) does. A filesystem without locks (NFS without its lock
    // service, some FUSE ones) refuses with another error, and the file is read without one.
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) return std::nullopt;
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);

    const auto size = static_cast<std::size_t>(st.st_size);
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

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         const FileCalls& calls) {
    if (path.empty()) return false;
    const auto resolved = ResolveTarget(path);
    if (!resolved) return false;
    const std::string& target = *resolved;
    mode_t mode = 0644 & ~CurrentUmask();
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) return false;
        // The rename would replace a file the user made read-only; refuse, as opening it would.
        if (::access(target.c_str(), W_OK) != 0) return false;
        mode = old.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }

    const std::string folder = FolderPart(target);
    // Beside the target, so the rename stays within one file system; the name is cut so that
    // the suffix never pushes it past the longest name a folder entry may have.
    const std::string base = FileNamePart(target);
    std::string tempName = (folder == "/" ? "" : folder) + "/" + base.substr(0, 200) + ".XXXXXX";
    UniqueFd fd(::mkostemp(tempName.data(), O_CLOEXEC));
    if (!fd.Valid()) {
        const bool refused = errno == EACCES || errno == EPERM;
        return exists && refused && WriteInPlace(calls, target, bytes);
    }

    // The same owner and group as the file replaced, where the process may give them (root may;
    // an ordinary user may give a group of their own). Before fchmod: a change of owner clears
    // the set-id bits.
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0)
        static_cast<void>(::fchown(fd.Get(), static_cast<uid_t>(-1), old.st_gid));
    bool ok = ::fchmod(fd.Get(), mode) == 0 && WriteAndSync(calls, fd.Get(), bytes);
    ok = fd.Close() && ok;
    if (ok && calls.rename(tempName.c_str(), target.c_str()) != 0) {
        // A sticky folder lets only the owner replace a file, but the file may still be ours to write.
        const bool refused = errno == EACCES || errno == EPERM;
        ::unlink(tempName.c_str());
        return refused && exists && WriteInPlace(calls, target, bytes);
    }
    if (!ok) {
        ::unlink(tempName.c_str());
        return false;
    }
    // The new file is in place; syncing the folder makes the rename itself survive a power cut.
    // A folder that cannot be synced does not undo the save.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid()) calls.fsync(dir.Get());
    return true;
}

}  // namespace zemrik
