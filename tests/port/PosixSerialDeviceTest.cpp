// The Linux serial device and the whole port on a pseudo-terminal made here.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "port/PortTestSupport.h"
#include "port/PosixSerialDevice.h"
#include "support/PtySim.h"
#include "support/RunProcess.h"

namespace zemrik::test {
namespace {

using std::chrono::milliseconds;

struct OnPty : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(pty.OpenNew() && !pty.SlavePath().empty()); }
    RawTerminal pty;
    PosixSerialDevice device;
};

// TCommPort on the real device layer, opened on `path` as port 1.
struct PtyPort {
    explicit PtyPort(const std::string& path, int outSize = 4096) {
        port.SetOutSize(outSize);
        port.PortNames().SetPath(1, path);
        port.SetComNumber(1);
        port.SetOpen(true);
    }
    bool Pump(const std::function<bool()>& done) { return PumpUntil(calls, done); }
    MainThreadCalls calls;
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

// Checked by an ordinary user: the kernel lets a privileged one past TIOCEXCL and past the
// device's mode.
TEST_F(OnPty, OpenIsExclusiveAndARefusedOneSaysPermission) {
    const auto opensAs = [&](DeviceError expected) {
        return AsOrdinaryUser([&] { return PosixSerialDevice().Open(pty.SlavePath()) == expected; });
    };
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    EXPECT_EQ(opensAs(DeviceError::Busy), std::optional<bool>(true));
    device.Close();
    EXPECT_EQ(opensAs(DeviceError::None), std::optional<bool>(true));
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
    EXPECT_EQ(opensAs(DeviceError::Permission), std::optional<bool>(true));
}

// A cancel left by a close must not end the first wait after the next open; an empty read (a
// flush between count and read) is no hang-up.
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
    EXPECT_EQ(WaitEvent(device, milliseconds(50)), 0u);  // nothing new: only the cancel ends it
    ASSERT_EQ(device.Read(in, 4), 2);
    EXPECT_EQ(in[1], 8);
}

// A terminal without modem lines reports CTS and DSR on, or nothing would ever be sent; its break
// can be set, its DTR cannot; a closed device answers nothing.
TEST_F(OnPty, LinesOfATerminalWithoutModemLines) {
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    std::uint32_t bits = 0;
    EXPECT_TRUE(device.GetModemStatus(bits));
    EXPECT_EQ(bits, MS_CTS_ON | MS_DSR_ON);
    EXPECT_TRUE(device.Escape(SETBREAK) && device.Escape(CLRBREAK));
    EXPECT_FALSE(device.Escape(SETDTR) || device.Escape(7));
    device.Close();
    EXPECT_FALSE(device.GetModemStatus(bits) || device.Escape(SETBREAK));
}

// A frame no terminal can make is refused and leaves the line as it was; the widest ones pass.
TEST_F(OnPty, LineSettingsOutsideWhatATerminalTakesAreRefused) {
    ASSERT_EQ(device.Open(pty.SlavePath()), DeviceError::None);
    const Dcb good{19200, 0, 8, 0, 0};
    ASSERT_TRUE(device.SetState(good));
    const Dcb bad[] = {{19200, 0, 4, 0, 0}, {19200, 0, 9, 0, 0}, {19200, 0, 8, 5, 0},
                       {19200, 0, 8, 0, 3}, {0, 0, 8, 0, 0}};
    for (const Dcb& dcb : bad) {
        EXPECT_FALSE(device.SetState(dcb)) << int(dcb.ByteSize) << int(dcb.Parity) << int(dcb.StopBits);
        Dcb now{};
        ASSERT_TRUE(device.GetState(now));
        EXPECT_EQ(std::vector<std::uint32_t>({now.BaudRate, now.ByteSize, now.Parity, now.StopBits}),
                  std::vector<std::uint32_t>({19200, 8, 0, 0}));
    }
    for (const Dcb& dcb : {Dcb{19200, 0, 5, 4, 2}, Dcb{19200, 0, 8, 4, 2}})
        EXPECT_TRUE(device.SetState(dcb)) << int(dcb.ByteSize);
}

// An idle open port on a real terminal sleeps between its passes, and has nothing to announce.
TEST_F(OnPty, IdleOpenPortDoesNotSpin) {
    PtyPort rig(pty.SlavePath());
    ASSERT_TRUE(rig.port.Enabled());
    int announced = 0;  // served when the port closes, should a worker have one to hand over
    rig.port.SetOnTriggerAvail([&](TObject*, std::uint16_t) { ++announced; });
    EXPECT_LT(ProcessCpuDuring(std::chrono::seconds(1)).count(), 100);
    rig.port.SetOpen(false);
    EXPECT_EQ(announced, 0);
}

// Neither a flush nor a close waits for a write the other end never takes.
TEST_F(OnPty, FlushAndCloseCutAWriteTheOtherEndNeverTakes) {
    PtyPort rig(pty.SlavePath(), 1 << 20);
    TCommPort& port = rig.port;
    ASSERT_TRUE(port.Enabled());
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
    // Close dropped what the terminal held beyond the 4 KiB its reader had taken in.
    EXPECT_LE(pty.Read(1 << 20, milliseconds(300)).size(), 4096u);
}

}  // namespace
}  // namespace zemrik::test
