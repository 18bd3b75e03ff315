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
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cables/CableTableFile.h"
#include "common/HexDump.h"
#include "measurement/MeasurementFile.h"
#include "sim/Console.h"
#include "sim/InstrumentEmulator.h"
#include "sim/ReplyLine.h"

namespace zemrik {

namespace {

// A request that stops arriving half-way is dropped after this much silence, so that the next
// handshake is heard again.
constexpr std::uint64_t FrameIdleResetUs = 2'000'000;

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

// Where the symlink at `path` points; nullopt when it is no symlink.
std::optional<std::string> LinkTarget(const std::string& path) {
    std::vector<char> buffer(4096);
    ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::nullopt;
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

// Removes the symlink when the run ends, however it ends, unless it no longer is ours.
class LinkGuard {
public:
    LinkGuard() = default;
    ~LinkGuard() {
        if (!path_.empty() && LinkTarget(path_) == target_) ::unlink(path_.c_str());
    }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;
    void Set(std::string path, std::string target) {
        path_ = std::move(path);
        target_ = std::move(target);
    }

private:
    std::string path_;
    std::string target_;
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
    std::fputs(HexDumpLines(std::string("zemrik-sim ") + direction, data, count).c_str(), stderr);
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
        // Only a link an emulator left behind is replaced; anything else belongs to someone.
        if (!LeftByAnEmulator(linkPath)) return Fail(linkPath + " exists and is not an emulator's old link");
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

class Server {
public:
    Server(const SimOptions& options, InstrumentEmulator& emulator, int master, int signals)
        : options_(options),
          emulator_(emulator),
          line_(emulator, options.paceBaud > 0 ? 10'000'000ull / options.paceBaud : 0),
          master_(master),
          signals_(signals) {}

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

            timespec timeout{};
            int ready = ::ppoll(fds, count, Timeout(NowUs(), timeout), nullptr);
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
    // Wakes to the microsecond when the line says: a paced line must not gain a timer tick per
    // exchange.
    const timespec* Timeout(std::uint64_t now, timespec& timeout) const {
        std::uint64_t wakeUs = UINT64_MAX;
        if (!writeBlocked_) wakeUs = line_.NextWriteUs().value_or(UINT64_MAX);
        if (emulator_.MidFrame()) wakeUs = std::min(wakeUs, lastRxUs_ + FrameIdleResetUs);
        if (wakeUs == UINT64_MAX) return nullptr;
        const std::uint64_t waitUs = wakeUs > now ? wakeUs - now : 0;
        timeout.tv_sec = static_cast<time_t>(waitUs / 1'000'000);
        timeout.tv_nsec = static_cast<long>(waitUs % 1'000'000) * 1000;
        return &timeout;
    }

    // false when stdin ended. Whole lines are commands that change the memory (sim/Console.h);
    // each is answered by a line on stdout.
    bool DrainStdin() {
        char buffer[256];
        ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0) {
            console_.append(buffer, static_cast<std::size_t>(n));
            for (auto end = console_.find('\n'); end != std::string::npos; end = console_.find('\n')) {
                const std::string reply =
                    RunConsoleCommand(std::string_view(console_).substr(0, end), emulator_);
                console_.erase(0, end + 1);
                std::fputs(reply.c_str(), stdout);
                std::fflush(stdout);
            }
            return true;
        }
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
        line_.Receive({buffer, count}, lastRxUs_);
        return true;
    }

    bool WriteDue(std::uint64_t now) {
        while (!writeBlocked_) {
            std::span<const std::uint8_t> due = line_.Due(now);
            if (due.empty()) return true;
            ssize_t n = ::write(master_, due.data(), due.size());
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
            if (options_.trace) Trace("tx:", due.data(), written);
            line_.Sent(written, now);
        }
        return true;
    }

    const SimOptions& options_;
    InstrumentEmulator& emulator_;
    ReplyLine line_;
    int master_;
    int signals_;
    std::uint64_t lastRxUs_ = 0;
    bool writeBlocked_ = false;
    bool watchStdin_ = true;
    std::string console_;  // stdin not yet ended by a newline
};

}  // namespace

// A link an emulator made and left behind (it did not end cleanly): it points at a
// pseudo-terminal that is gone.
bool LeftByAnEmulator(const std::string& linkPath) {
    const std::optional<std::string> target = LinkTarget(linkPath);
    struct stat st {};
    return target && target->rfind("/dev/pts/", 0) == 0 && ::stat(target->c_str(), &st) != 0 &&
           errno == ENOENT;
}

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
        link.Set(options.linkPath, pty.slavePath);
    }

    std::printf("%s\n", pty.slavePath.c_str());
    std::fflush(stdout);

    Server server(options, emulator, pty.master.Get(), signals.Get());
    int result = server.Run();
    if (!SaveMemory(options, emulator, header) && result == 0) result = 1;
    return result;
}

}  // namespace zemrik
