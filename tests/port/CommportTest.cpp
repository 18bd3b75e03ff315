// The port's own logic against a fake device: buffers, line control, open and close.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

TEST(Commport, OpenAppliesLineSettingsAndKeepsASpeedSetThroughHandle) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetComNumber(3);
    port.PortNames().SetPath(3, "/dev/ttyUSB7");
    port.SetOpen(true);
    ASSERT_TRUE(port.Enabled());
    EXPECT_EQ(rig.fake->LastPath(), "/dev/ttyUSB7");
    Dcb dcb = rig.fake->State();
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.Flags, 0x205Cu);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity + dcb.StopBits, 0);

    port.SetParity(TParity::paMark);
    port.SetStopbits(TStopbits::sb2_0);
    port.SetDatabits(0x107);  // only the low byte reaches the device
    dcb = rig.fake->State();
    EXPECT_EQ(dcb.Parity, 3);
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_EQ(dcb.ByteSize, 7);

    // The start-up code's switch to 28800, a speed TBaudRate does not offer.
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    dcb.BaudRate = 28800;
    ASSERT_TRUE(port.Handle()->SetState(dcb));
    EXPECT_EQ(rig.fake->State().BaudRate, 28800u);
    EXPECT_EQ(port.BaudRate(), TBaudRate::cbr19200);

    // Only the fifteen named speeds are taken; any other number keeps the last one.
    const struct {
        int speed;
        TBaudRate expected;
    } cases[] = {{115200, TBaudRate::cbr115200},
                 {0, TBaudRate::cbr115200},
                 {110, TBaudRate::cbr110},
                 {256000, TBaudRate::cbr256000},
                 {-9600, TBaudRate::cbr256000}};
    for (const auto& c : cases) {
        port.SetBaud(c.speed);
        EXPECT_EQ(port.BaudRate(), c.expected) << c.speed;
        EXPECT_EQ(static_cast<int>(rig.fake->State().BaudRate), port.Baud()) << c.speed;
    }
}

TEST(Commport, BufferLimits) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.fake->SetCts(false);  // nothing leaves, so the transmit buffer only fills
    port.SetOpen(true);
    std::vector<std::uint8_t> big = Bytes(5000);
    EXPECT_EQ(port.PutBlock(big.data(), -3), 0);
    EXPECT_EQ(port.PutBlock(big.data(), 5000), 4096);
    EXPECT_EQ(port.PutBlock(big.data(), 5000) + port.PutChar(1), 0);
    port.FlushOutBuffer();
    EXPECT_EQ(port.PutString("ab"), 2);
    EXPECT_EQ(port.GetOutBuffUsed(), 2);
    EXPECT_TRUE(rig.fake->Written().empty());

    rig.fake->Receive({0x10, 0x20, 0x30});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 3; }));
    EXPECT_EQ(port.GetInBuffFree(), 2045);
    std::uint8_t out[8] = {};
    EXPECT_EQ(port.GetBlock(out, 2), 2);
    EXPECT_EQ(port.GetBlock(out + 2, 5), 1);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{0x10, 0x20, 0x30}));
    rig.fake->Receive({0x00, 0x41});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 2; }));
    EXPECT_EQ(port.GetChar(), 0x00);
    port.FlushInBuffer();
    EXPECT_FALSE(port.CharReady());
}

TEST(Commport, FailedOpenThenOpenAndCloseTwice) {
    int opens = 0;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOnOpen([&](TObject*, std::int32_t error) { opens += error == 0; });
    rig.fake->SetOpenResult(DeviceError::NotFound);
    port.SetOpen(true);
    EXPECT_FALSE(port.Open() || port.Enabled());
    EXPECT_EQ(port.LastOpenError(), DeviceError::NotFound);
    std::uint8_t byte = 5;
    EXPECT_EQ(port.PutBlock(&byte, 1) + port.GetChar(), 0);  // no buffer is held
    EXPECT_FALSE(port.Set_BREAK(true));
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->WorkerCalls() + rig.fake->Closes() + opens, 0);

    rig.fake->SetOpenResult(DeviceError::None);
    port.SetOpen(true);
    port.SetOpen(true);
    EXPECT_EQ(rig.fake->Opens(), 1);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(port.PutBlock(&byte, 1), 1);
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->Written().size() == 1; }, kDeadline));
    port.SetDTR(true);
    port.SetOpen(false);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open() || port.Enabled() || port.DTR());
    EXPECT_EQ(rig.fake->Closes(), 1);

    port.SetOpen(true);  // a fresh open starts with empty buffers
    EXPECT_EQ(rig.fake->Opens(), 2);
    EXPECT_EQ(port.GetOutBuffFree(), 4096);
}

// With no thread to be had, the open gives up and closes what it opened. Run in a child that a
// process limit keeps from making threads (root is exempt, so the child turns into nobody).
TEST(Commport, OpenThatCannotStartItsThreadsClosesTheDevice) {
    pid_t child = ::fork();
    if (child == 0) {
        rlimit none{0, 0};
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::setrlimit(RLIMIT_NPROC, &none) != 0)
            ::_exit(100);
        FakePortRig rig;
        rig.port->SetOpen(true);
        const bool closed = !rig.port->Enabled() && !rig.port->Open() && rig.fake->Opens() == 1 &&
                            rig.fake->Closes() == 1 && rig.port->LastOpenError() == DeviceError::Other;
        rig.port.reset();
        ::_exit(closed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 100) GTEST_SKIP() << "cannot limit a child here";
    EXPECT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Commport, LineControlAndModemState) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOpen(true);
    port.SetDTR(false);
    port.SetRTS(true);
    EXPECT_TRUE(port.Set_BREAK(true));
    port.SendBreak(0);
    EXPECT_EQ(rig.fake->Escapes(), (std::vector<int>{CLRDTR, SETRTS, SETBREAK, SETBREAK, CLRBREAK}));
    const bool expected[] = {false, false, true, true, false, false};  // lines -1..4: CTS and DSR on
    for (int line = -1; line < 5; ++line) EXPECT_EQ(port.GetModemState(line), expected[line + 1]) << line;
    rig.fake->SetCts(false);
    EXPECT_FALSE(port.GetModemState(1));
}

TEST(ComPortNames, DevicePathsAndPortArguments) {
    ComPortNames names;
    names.SetPath(2, "/dev/ttyUSB0");
    const struct {
        const char* argument;
        int number;  // 0: refused
        const char* path;
    } cases[] = {
        {"2", 2, "/dev/ttyUSB0"},
        {"COM3", 3, "/dev/ttyS2"},
        {"255", 255, "/dev/ttyS254"},
        {"./sim.tty", kPathPortNumber, "./sim.tty"},
        {"", 0, ""},
        {"0", 0, ""},
        {"256", 0, ""},
        {"1x", 0, ""},
        {"COM", 0, ""},
        {"ttyS0", 0, ""},
    };
    for (const auto& c : cases) {
        auto choice = ParsePortArgument(c.argument, names);
        ASSERT_EQ(choice.has_value(), c.number != 0) << c.argument;
        if (!choice) continue;
        EXPECT_EQ(choice->comNumber, c.number) << c.argument;
        EXPECT_EQ(choice->path, c.path) << c.argument;
    }
}

}  // namespace
}  // namespace zemrik::test
