// The Linux serial device and the whole port on a pseudo-terminal made here.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "link/PosixSerialDevice.h"
#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

using std::chrono::milliseconds;

// The controlling side of a pseudo-terminal; the code under test opens SlavePath().
class PtyMaster {
public:
    PtyMaster() {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) return;
        const char* name = ::ptsname(fd_);
        if (name != nullptr) slavePath_ = name;
        termios tio{};
        if (::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~PtyMaster() { Close(); }
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    bool Ok() const { return fd_ >= 0 && !slavePath_.empty(); }
    const std::string& SlavePath() const { return slavePath_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // Bytes the slave wrote that the master has not read.
    int Pending() const {
        int count = 0;
        return ::ioctl(fd_, FIONREAD, &count) == 0 ? count : -1;
    }
    bool Write(const std::vector<std::uint8_t>& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    std::vector<std::uint8_t> Read(std::size_t count, milliseconds timeout) {
        std::vector<std::uint8_t> got;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            std::uint8_t buffer[256];
            ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
        }
        return got;
    }

private:
    int fd_ = -1;
    std::string slavePath_;
};

double ProcessCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

TEST(PosixSerialDevice, OpenFailuresLeaveItClosed) {
    PosixSerialDevice device;
    EXPECT_EQ(device.Open("/dev/zemrik-no-such-tty"), DeviceError::NotFound);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.LastError(), ENOENT);
    // A device that is no terminal.
    EXPECT_EQ(device.Open("/dev/null"), DeviceError::Other);
    EXPECT_FALSE(device.IsOpen());
    std::uint8_t byte = 0;
    EXPECT_EQ(device.Read(&byte, 1), -1);
    EXPECT_EQ(device.Write(&byte, 1), -1);
    std::uint32_t mask = 0;
    EXPECT_FALSE(device.WaitEvent(mask));
}

TEST(PosixSerialDevice, LineSettingsAndNoModemLines) {
    PtyMaster pty;
    ASSERT_TRUE(pty.Ok());
    PosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);

    Dcb dcb;
    dcb.BaudRate = 28800;  // no B-constant exists for it
    dcb.Flags = 0x205C;
    dcb.ByteSize = 7;
    dcb.Parity = 2;
    dcb.StopBits = 2;
    ASSERT_TRUE(device.SetState(dcb));
    Dcb back;
    ASSERT_TRUE(device.GetState(back));
    EXPECT_EQ(back.BaudRate, 28800u);
    EXPECT_EQ(back.Flags, 0x205Cu);
    EXPECT_EQ(back.StopBits, 2);
    // A pseudo-terminal forces 8 bits without parity whatever it is told; a real line keeps them.
    dcb.ByteSize = 9;
    EXPECT_FALSE(device.SetState(dcb));

    std::uint32_t bits = 0;
    ASSERT_TRUE(device.GetModemStatus(bits));
    EXPECT_EQ(bits & (MS_CTS_ON | MS_DSR_ON), MS_CTS_ON | MS_DSR_ON);
}

TEST(PosixSerialDevice, OpenIsExclusive) {
    PtyMaster pty;
    ASSERT_TRUE(pty.Ok());
    PosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    if (::geteuid() != 0) {
        PosixSerialDevice second;
        EXPECT_EQ(second.Open(pty.SlavePath()), DeviceError::Busy);
        device.Close();
        EXPECT_EQ(second.Open(pty.SlavePath()), DeviceError::None);
        return;
    }
    // The kernel lets a privileged process past TIOCEXCL, so try as an ordinary user instead.
    if (::chmod(pty.SlavePath().c_str(), 0666) != 0) GTEST_SKIP() << "cannot open the terminal to others";
    auto openAsNobody = [&] {
        pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
            int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ::_exit(fd >= 0 ? 0 : (errno == EBUSY ? 1 : 2));
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    };
    int held = openAsNobody();
    if (held == 100) GTEST_SKIP() << "cannot switch to an ordinary user here";
    EXPECT_EQ(held, 1);  // refused: in use
    device.Close();
    EXPECT_EQ(openAsNobody(), 0);
}

TEST(PosixSerialDevice, WaitEventIsCancellableAndReportsArrivalsOnce) {
    PtyMaster pty;
    ASSERT_TRUE(pty.Ok());
    PosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR | EV_TXEMPTY | EV_CTS));

    std::uint32_t mask = 0xFFFF;
    std::thread canceller([&] { device.CancelWait(); });
    EXPECT_TRUE(device.WaitEvent(mask));
    canceller.join();
    EXPECT_EQ(mask, 0u);

    ASSERT_TRUE(pty.Write({1, 2, 3}));
    // Let all three reach the terminal first, so one wait sees them together.
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    int queued = 0;
    int outQueue = 0;
    while (device.QueueCounts(queued, outQueue) && queued < 3 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_EQ(queued, 3);
    ASSERT_TRUE(device.WaitEvent(mask));
    EXPECT_EQ(mask, EV_RXCHAR);
    // The bytes stay unread: a second wait must not report them again, only the cancel.
    std::thread later([&] { device.CancelWait(); });
    EXPECT_TRUE(device.WaitEvent(mask));
    later.join();
    EXPECT_EQ(mask, 0u);
}

// Bytes that arrive after a read emptied the queue are new, even when the queue is back at the
// size the last event saw; the same holds after a purge.
TEST(PosixSerialDevice, ArrivalsAfterAReadOrPurgeAreReportedAgain) {
    PtyMaster pty;
    ASSERT_TRUE(pty.Ok());
    PosixSerialDevice device;
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));

    auto waitQueued = [&](int wanted) {
        auto deadline = std::chrono::steady_clock::now() + kDeadline;
        int queued = 0;
        int outQueue = 0;
        while (device.QueueCounts(queued, outQueue) && queued < wanted &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return queued == wanted;
    };
    // One wait, ended by a cancel if the event never comes.
    auto waitEvent = [&] {
        std::uint32_t mask = 0;
        auto wait = std::async(std::launch::async, [&] { return device.WaitEvent(mask); });
        if (wait.wait_for(kDeadline) != std::future_status::ready) device.CancelWait();
        EXPECT_TRUE(wait.get());
        return mask;
    };

    for (const char* taker : {"read", "purge"}) {
        ASSERT_TRUE(pty.Write({1, 2, 3}));
        ASSERT_TRUE(waitQueued(3));
        EXPECT_EQ(waitEvent(), EV_RXCHAR) << taker;
        if (std::string(taker) == "read") {
            std::uint8_t in[3] = {};
            ASSERT_EQ(device.Read(in, 3), 3);
        } else {
            ASSERT_TRUE(device.Purge(true, false));
        }
        ASSERT_TRUE(pty.Write({4, 5, 6}));
        ASSERT_TRUE(waitQueued(3));
        EXPECT_EQ(waitEvent(), EV_RXCHAR) << taker;
        ASSERT_TRUE(device.Purge(true, false));
    }
}

TEST(PosixSerialDevice, PortMovesBytesBothWaysOnAPty) {
    PtyMaster pty;
    ASSERT_TRUE(pty.Ok());
    MainThreadCalls calls;
    TCommPort port(nullptr, std::make_unique<PosixSerialDevice>(), &calls);
    port.PortNames().SetPath(1, pty.SlavePath());
    port.SetComNumber(1);
    port.SetOpen(true);
    ASSERT_TRUE(port.Enabled());

    Dcb dcb;
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    dcb.BaudRate = 28800;
    ASSERT_TRUE(port.Handle()->SetState(dcb));
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    EXPECT_EQ(dcb.BaudRate, 28800u);

    EXPECT_TRUE(port.GetModemState(1));
    ASSERT_TRUE(PumpUntil(calls, [&] { return port.CTSState(); }));

    ASSERT_TRUE(pty.Write({0x55, 0xAA, 0x00, 0x31}));
    ASSERT_TRUE(PumpUntil(calls, [&] { return port.GetInBuffUsed() == 4; }));
    std::uint8_t in[4] = {};
    ASSERT_EQ(port.GetBlock(in, 4), 4);
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 4), (std::vector<std::uint8_t>{0x55, 0xAA, 0x00, 0x31}));

    std::vector<std::uint8_t> out = Bytes(1000, 1);
    ASSERT_EQ(port.PutBlock(out.data(), 1000), 1000);
    EXPECT_EQ(pty.Read(1000, kDeadline), out);
    ASSERT_TRUE(PumpUntil(calls, [&] { return port.GetOutBuffUsed() == 0; }));

    port.SetOpen(false);
    EXPECT_FALSE(port.Enabled());
}

TEST(PosixSerialDevice, CloseCutsAWriteTheOtherEndNeverTakes) {
    PtyMaster pty;
    ASSERT_TRUE(pty.Ok());
    MainThreadCalls calls;
    TCommPort port(nullptr, std::make_unique<PosixSerialDevice>(), &calls);
    port.SetOutSize(1 << 20);
    port.PortNames().SetPath(1, pty.SlavePath());
    port.SetComNumber(1);
    port.SetOpen(true);
    ASSERT_TRUE(port.Enabled());
    // Far more than a pseudo-terminal buffers; the master reads nothing.
    std::vector<std::uint8_t> out = Bytes(1 << 20);
    ASSERT_EQ(port.PutBlock(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    // The write thread is inside its device write once the terminal's buffer has filled.
    ASSERT_TRUE(PumpUntil(calls, [&] { return pty.Pending() > 0; }));
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
}

TEST(PosixSerialDevice, HangupMeansGoneWithoutSpinning) {
    auto master = std::make_unique<PtyMaster>();
    ASSERT_TRUE(master->Ok());
    MainThreadCalls calls;
    TCommPort port(nullptr, std::make_unique<PosixSerialDevice>(), &calls);
    port.PortNames().SetPath(1, master->SlavePath());
    port.SetComNumber(1);
    port.SetOpen(true);
    ASSERT_TRUE(port.Enabled());
    SerialDevice* device = port.Handle();

    master->Close();
    std::uint8_t byte = 1;
    port.PutBlock(&byte, 1);
    ASSERT_TRUE(PumpUntil(calls, [&] { return device->IsGone(); }));

    // An observation window, not a wait for an event: idle threads use next to no processor
    // time in it; a spinning one would use all of it.
    double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);

    std::uint8_t in = 0;
    EXPECT_EQ(port.GetBlock(&in, 1), 0);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.Enabled());
}

}  // namespace
}  // namespace zemrik::test
