#include "sim/PtyServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cables/CableTableFile.h"
#include "measurement/MeasurementFile.h"
#include "sim/InstrumentEmulator.h"

namespace zemrik {

namespace {

// A request that stops arriving half-way is dropped after this much silence, so that the next
// handshake is heard again.
constexpr std::uint64_t FrameIdleResetUs = 2'000'000;

// How late a paced byte may be before the line counts as having paused.
constexpr std::uint64_t PaceSlackUs = 2'000;

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Removes the symlink when the run ends, however it ends.
class LinkGuard {
public:
    LinkGuard() = default;
    ~LinkGuard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;
    void Set(std::string path) { path_ = std::move(path); }

private:
    std::string path_;
};

std::uint64_t NowUs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// Both print the reason and return false, so that a failed step reads `return Fail(...)`.
bool Fail(const std::string& what) {
    std::fprintf(stderr, "zemrik-sim: %s\n", what.c_str());
    return false;
}

bool FailErrno(const std::string& what) { return Fail(what + ": " + std::strerror(errno)); }

void Trace(const char* direction, const std::uint8_t* data, std::size_t count) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 16 == 0) {
            if (i > 0) line += '\n';
            line += "zemrik-sim ";
            line += direction;
        }
        line += ' ';
        line += digits[data[i] >> 4];
        line += digits[data[i] & 0x0F];
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

struct Pty {
    UniqueFd master;
    UniqueFd slave;  // held open so that a client closing its end does not hang up the master
    std::string slavePath;
};

bool OpenPty(Pty& pty) {
    pty.master = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.master.Valid()) return FailErrno("posix_openpt");
    if (::grantpt(pty.master.Get()) != 0) return FailErrno("grantpt");
    if (::unlockpt(pty.master.Get()) != 0) return FailErrno("unlockpt");
    char name[256];
    if (::ptsname_r(pty.master.Get(), name, sizeof name) != 0) return FailErrno("ptsname_r");
    pty.slavePath = name;

    pty.slave = UniqueFd(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.slave.Valid()) return FailErrno(std::string("open ") + name);
    termios tio{};
    if (::tcgetattr(pty.slave.Get(), &tio) != 0) return FailErrno("tcgetattr");
    // A serial line passes bytes untouched: no echo, no line editing, no CR/LF mapping.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(pty.slave.Get(), TCSANOW, &tio) != 0) return FailErrno("tcsetattr");

    int flags = ::fcntl(pty.master.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(pty.master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        return FailErrno("fcntl O_NONBLOCK");
    }
    return true;
}

bool MakeLink(const std::string& linkPath, const std::string& target) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        // An old link from an emulator that did not end cleanly is replaced; anything else is not ours.
        if (!S_ISLNK(st.st_mode)) return Fail(linkPath + " exists and is not a symlink");
        ::unlink(linkPath.c_str());
    }
    if (::symlink(target.c_str(), linkPath.c_str()) != 0) return FailErrno("symlink " + linkPath);
    return true;
}

bool LoadMemory(const SimOptions& options, InstrumentEmulator& emulator, FileHeader& header) {
    if (!options.recordsPath.empty()) {
        auto list = std::make_unique<MeasurementList>();
        if (!ReadMeasurementFile(options.recordsPath, *list, header)) {
            return Fail("cannot read measurement file " + options.recordsPath);
        }
        emulator.LoadRecords(*list);
    }
    if (!options.cablesPath.empty()) {
        CableTable table;
        if (!LoadTableFile(options.cablesPath, table)) {
            return Fail("cannot read cable table file " + options.cablesPath);
        }
        emulator.LoadCables(table);
    }
    return true;
}

bool SaveMemory(const SimOptions& options, const InstrumentEmulator& emulator, FileHeader& header) {
    bool ok = true;
    if (!options.saveRecordsPath.empty()) {
        auto list = std::make_unique<MeasurementList>();
        emulator.StoreRecords(*list);
        if (!WriteMeasurementFile(options.saveRecordsPath, *list, header)) {
            Fail("cannot write measurement file " + options.saveRecordsPath);
            ok = false;
        }
    }
    if (!options.saveCablesPath.empty()) {
        CableTable table;
        emulator.StoreCables(table);
        if (!SaveTableFile(options.saveCablesPath, table)) {
            Fail("cannot write cable table file " + options.saveCablesPath);
            ok = false;
        }
    }
    return ok;
}

struct PendingReply {
    std::uint64_t dueUs;
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
};

class Server {
public:
    Server(const SimOptions& options, InstrumentEmulator& emulator, int master, int signals)
        : options_(options), emulator_(emulator), master_(master), signals_(signals) {
        if (options.paceBaud > 0) byteIntervalUs_ = 10'000'000ull / options.paceBaud;
    }

    // 0 when asked to stop, 1 on a terminal error.
    int Run() {
        for (;;) {
            const std::uint64_t now = NowUs();
            if (!WriteDue(now)) return 1;
            if (emulator_.MidFrame() && now - lastRxUs_ >= FrameIdleResetUs) emulator_.Reset();

            pollfd fds[3] = {};
            fds[0] = {master_, static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0)), 0};
            fds[1] = {signals_, POLLIN, 0};
            nfds_t count = 2;
            if (!options_.noStdin && watchStdin_) fds[count++] = {STDIN_FILENO, POLLIN, 0};

            int ready = ::poll(fds, count, PollTimeoutMs(NowUs()));
            if (ready < 0) {
                if (errno == EINTR) continue;
                FailErrno("poll");
                return 1;
            }
            if (fds[1].revents & POLLIN) return 0;
            if (count == 3 && fds[2].revents != 0 && !DrainStdin()) return 0;
            if (fds[0].revents & POLLOUT) writeBlocked_ = false;
            if ((fds[0].revents & POLLIN) && !ReadMaster()) return 1;
        }
    }

private:
    int PollTimeoutMs(std::uint64_t now) const {
        std::uint64_t wakeUs = UINT64_MAX;
        if (!queue_.empty() && !writeBlocked_) wakeUs = std::max(queue_.front().dueUs, nextByteUs_);
        if (emulator_.MidFrame()) wakeUs = std::min(wakeUs, lastRxUs_ + FrameIdleResetUs);
        if (wakeUs == UINT64_MAX) return -1;
        if (wakeUs <= now) return 0;
        return static_cast<int>(std::min<std::uint64_t>((wakeUs - now + 999) / 1000, 60'000));
    }

    // false when stdin ended.
    bool DrainStdin() {
        char buffer[256];
        ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) return true;
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
        if (n < 0) {
            // Not something we can read (a closed or odd descriptor): stop watching rather than spin.
            watchStdin_ = false;
            return true;
        }
        return false;
    }

    bool ReadMaster() {
        std::uint8_t buffer[4096];
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return true;
            // With our own slave descriptor open the master never sees a hang-up; anything else is fatal.
            FailErrno("read from the terminal");
            return false;
        }
        if (n == 0) return true;
        const auto count = static_cast<std::size_t>(n);
        if (options_.trace) Trace("rx:", buffer, count);
        lastRxUs_ = NowUs();
        for (EmulatorReply& reply : emulator_.Receive({buffer, count})) {
            queue_.push_back({lastRxUs_ + std::uint64_t{reply.delayMs} * 1000, std::move(reply.bytes)});
        }
        return true;
    }

    bool WriteDue(std::uint64_t now) {
        while (!queue_.empty() && !writeBlocked_) {
            PendingReply& front = queue_.front();
            if (now < front.dueUs || now < nextByteUs_) return true;
            std::size_t chunk = front.bytes.size() - front.sent;
            if (byteIntervalUs_ > 0) {
                // The poll loop wakes in whole milliseconds, which is several byte times at the
                // usual rates: send every byte that is due by now, so the line keeps its rate.
                // After a pause the line starts afresh instead of bursting out the idle time.
                if (now > nextByteUs_ + PaceSlackUs) nextByteUs_ = now;
                chunk = std::min<std::size_t>(chunk, 1 + (now - nextByteUs_) / byteIntervalUs_);
            }
            ssize_t n = ::write(master_, front.bytes.data() + front.sent, chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) {
                    writeBlocked_ = true;  // the client is not reading; wait for room
                    return true;
                }
                FailErrno("write to the terminal");
                return false;
            }
            const auto written = static_cast<std::size_t>(n);
            if (options_.trace) Trace("tx:", front.bytes.data() + front.sent, written);
            front.sent += written;
            if (byteIntervalUs_ > 0) nextByteUs_ += byteIntervalUs_ * written;
            if (front.sent == front.bytes.size()) queue_.pop_front();
        }
        return true;
    }

    const SimOptions& options_;
    InstrumentEmulator& emulator_;
    int master_;
    int signals_;
    std::deque<PendingReply> queue_;
    std::uint64_t byteIntervalUs_ = 0;
    std::uint64_t nextByteUs_ = 0;
    std::uint64_t lastRxUs_ = 0;
    bool writeBlocked_ = false;
    bool watchStdin_ = true;
};

}  // namespace

int RunSimulator(const SimOptions& options) {
    InstrumentEmulator emulator(options.capacity);
    emulator.SetFaults(options.faults);
    FileHeader header{};
    if (!LoadMemory(options, emulator, header)) return 2;

    // Signals arrive through a descriptor so that the poll loop sees them like any other event.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    if (::sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) {
        FailErrno("sigprocmask");
        return 2;
    }
    UniqueFd signals(::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!signals.Valid()) {
        FailErrno("signalfd");
        return 2;
    }
    ::signal(SIGPIPE, SIG_IGN);

    Pty pty;
    if (!OpenPty(pty)) return 2;
    LinkGuard link;
    if (!options.linkPath.empty()) {
        if (!MakeLink(options.linkPath, pty.slavePath)) return 2;
        link.Set(options.linkPath);
    }

    std::printf("%s\n", pty.slavePath.c_str());
    std::fflush(stdout);

    Server server(options, emulator, pty.master.Get(), signals.Get());
    int result = server.Run();
    if (!SaveMemory(options, emulator, header) && result == 0) result = 1;
    return result;
}

}  // namespace zemrik
