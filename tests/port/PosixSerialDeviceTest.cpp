// The Linux serial device and the whole port on a pseudo-terminal made here.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <string>
#include <vector>

#include "link/PosixSerialDevice.h"
#include "port/PortTestSupport.h"
#include "support/PtySim.h"

namespace zemrik::test {
namespace {

using std::chrono::milliseconds;

// A new pseudo-terminal whose other end the code under test opens.
struct OnPty : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(pty.OpenNew() && !pty.SlavePath().empty()); }
    RawTerminal pty;
    PosixSerialDevice device;
};

// TCommPort on the real device layer, opened on `path` as port 1.
struct PtyPort {
    explicit PtyPort(const std::string& path, int outSize = 4096) {
        port.SetOnOpen([this](TObject*, std::int32_t error) { openErrors.push_back(error); });
        port.SetOutSize(outSize);
        port.PortNames().SetPath(1, path);
        port.SetComNumber(1);
        port.SetOpen(true);
    }
    bool Pump(const std::function<bool()>& done) { return PumpUntil(calls, done); }
    MainThreadCalls calls;
    std::vector<std::int32_t> openErrors;
    TCommPort port{nullptr, std::make_unique<PosixSerialDevice>(), &calls};
};

// One wait, ended by a cancel from another thread if no event comes first.
std::uint32_t WaitEvent(PosixSerialDevice& device, std::chrono::milliseconds cancelAfter = kDeadline) {
    std::uint32_t mask = 0xFFFF;
    auto wait = std::async(std::launch::async, [&] { return device.WaitEvent(mask); });
    if (wait.wait_for(cancelAfter) != std::future_status::ready) device.CancelWait();
    EXPECT_TRUE(wait.get());
    return mask;
}

TEST_F(OnPty, OpenFailuresAndWhatAPtyCannotKeep) {
    EXPECT_EQ(device.Open("/dev/zemrik-no-such-tty"), DeviceError::NotFound);
    EXPECT_EQ(device.Open("/dev/null"), DeviceError::Other);  // no terminal
    EXPECT_FALSE(device.IsOpen());
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    // The status thread may wait before the mask is set; that refusal must not reach the
    // error code the open reports.
    std::uint32_t mask = 0;
    EXPECT_FALSE(device.WaitEvent(mask));
    EXPECT_EQ(device.LastError(), 0);
    Dcb dcb;
    ASSERT_TRUE(device.GetState(dcb));
    dcb.ByteSize = 9;
    EXPECT_FALSE(device.SetState(dcb));
    // No modem lines on a pty: CTS and DSR read as on, or hardware flow control would never send.
    std::uint32_t bits = 0;
    ASSERT_TRUE(device.GetModemStatus(bits));
    EXPECT_EQ(bits & (MS_CTS_ON | MS_DSR_ON), MS_CTS_ON | MS_DSR_ON);
}

TEST_F(OnPty, OpenIsExclusive) {
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

// Bytes are reported once; bytes that arrive after a read or a purge emptied the queue are new,
// even when the queue is back at the size the last event saw.
TEST_F(OnPty, WaitEventIsCancellableAndReportsEachArrivalOnce) {
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR | EV_TXEMPTY | EV_CTS));
    EXPECT_EQ(WaitEvent(device, milliseconds(0)), 0u);

    for (const char* taker : {"read", "purge"}) {
        SCOPED_TRACE(taker);
        ASSERT_TRUE(pty.Write({1, 2, 3}));  // one write reaches the device in one piece
        EXPECT_EQ(WaitEvent(device), EV_RXCHAR);
        // Still unread: a second wait must not report them again, only end on the cancel.
        EXPECT_EQ(WaitEvent(device, milliseconds(50)), 0u);
        if (std::string(taker) == "read") {
            std::uint8_t in[3] = {};
            ASSERT_EQ(device.Read(in, 3), 3);
        } else {
            ASSERT_TRUE(device.Purge(true, false));
        }
        ASSERT_TRUE(pty.Write({4, 5, 6}));
        EXPECT_EQ(WaitEvent(device), EV_RXCHAR);
        ASSERT_TRUE(device.Purge(true, false));
    }
}

// A close cancels the status thread's wait; when that thread had already ended, the cancel must
// not end the first wait after the next open with nothing. And a read that finds the queue empty
// (a flush came between the count and the read) is no hang-up.
TEST_F(OnPty, CancelledWaitDoesNotSurviveReopenAndAnEmptyReadIsNoHangup) {
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    ASSERT_TRUE(device.SetEventMask(0));  // cancels, with nobody waiting
    device.Close();
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    ASSERT_TRUE(device.SetEventMask(EV_RXCHAR));
    std::uint8_t in[4] = {};
    EXPECT_EQ(device.Read(in, 4), 0);
    EXPECT_FALSE(device.IsGone());
    ASSERT_TRUE(pty.Write({7, 8}));
    EXPECT_EQ(WaitEvent(device), EV_RXCHAR);
    ASSERT_EQ(device.Read(in, 4), 2);
    EXPECT_EQ(in[1], 8);
}

TEST_F(OnPty, PortMovesBytesBothWaysOnAPty) {
    PtyPort rig(pty.SlavePath());
    TCommPort& port = rig.port;
    ASSERT_TRUE(port.Enabled());
    // Nothing in the open sequence failed; a worker's early wait must not show up here.
    EXPECT_EQ(rig.openErrors, std::vector<std::int32_t>{0});

    Dcb dcb;
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    dcb.BaudRate = 28800;  // no B-constant exists for it
    ASSERT_TRUE(port.Handle()->SetState(dcb));
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    EXPECT_EQ(dcb.BaudRate, 28800u);

    const std::vector<std::uint8_t> in = {0x55, 0xAA, 0x00, 0x31};
    ASSERT_TRUE(pty.Write(in));
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 4; }));
    std::vector<std::uint8_t> got(4);
    ASSERT_EQ(port.GetBlock(got.data(), 4), 4);
    EXPECT_EQ(got, in);

    std::vector<std::uint8_t> out = Bytes(1000, 1);
    ASSERT_EQ(port.PutBlock(out.data(), 1000), 1000);
    EXPECT_EQ(pty.Read(1000, kDeadline), out);
}

// Neither a flush nor a close waits for a write the other end never takes.
TEST_F(OnPty, FlushAndCloseCutAWriteTheOtherEndNeverTakes) {
    PtyPort rig(pty.SlavePath(), 1 << 20);
    TCommPort& port = rig.port;
    ASSERT_TRUE(port.Enabled());
    // Far more than a pseudo-terminal buffers; the master reads nothing.
    std::vector<std::uint8_t> out = Bytes(1 << 20);
    ASSERT_EQ(port.PutBlock(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    // The write thread is inside its device write once the terminal's buffer has filled.
    ASSERT_TRUE(rig.Pump([&] {
        int pending = 0;
        return ::ioctl(pty.Fd(), FIONREAD, &pending) == 0 && pending > 0;
    }));
    port.FlushOutBuffer();
    EXPECT_EQ(port.GetOutBuffUsed(), 0);
    ASSERT_EQ(port.PutBlock(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    // Close dropped what the terminal still held for the other end, beyond the 4 KiB its reader
    // had already taken in (some 64 KiB more would follow otherwise).
    EXPECT_LE(pty.Read(1 << 20, milliseconds(300)).size(), 4096u);
}

TEST_F(OnPty, HangupMeansGoneAndCloseEnds) {
    PtyPort rig(pty.SlavePath());
    TCommPort& port = rig.port;
    ASSERT_TRUE(port.Enabled());
    pty.Close();
    std::uint8_t byte = 1;
    port.PutBlock(&byte, 1);
    ASSERT_TRUE(rig.Pump([&] { return port.Handle()->IsGone(); }));

    EXPECT_EQ(port.GetBlock(&byte, 1), 0);
    port.SetOpen(false);
    EXPECT_FALSE(port.Enabled());
}

}  // namespace
}  // namespace zemrik::test
