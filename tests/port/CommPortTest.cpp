// The port's own logic against a fake device: line settings, buffers, open and close.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <vector>

#include "port/PortTestSupport.h"
#include "support/RunProcess.h"

namespace zemrik::test {
namespace {

TEST(CommPort, OpenAppliesLineSettingsAndKeepsASpeedSetThroughHandle) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetComNumber(3);
    port.PortNames().SetPath(3, "/dev/ttyUSB7");
    port.SetOpen(true);
    ASSERT_TRUE(port.Enabled());
    EXPECT_EQ(rig.fake->LastPath(), "/dev/ttyUSB7");
    Dcb dcb = rig.fake->State();
    EXPECT_EQ(std::vector<std::uint32_t>({dcb.BaudRate, dcb.Flags, dcb.ByteSize, dcb.Parity, dcb.StopBits}),
              std::vector<std::uint32_t>({19200, 0x205C, 8, 0, 0}));

    port.SetParity(TParity::paMark);
    port.SetStopbits(TStopbits::sb2_0);
    port.SetDatabits(0x107);  // only the low byte reaches the device
    dcb = rig.fake->State();
    EXPECT_EQ(std::vector<int>({dcb.Parity, dcb.StopBits, dcb.ByteSize}), std::vector<int>({3, 2, 7}));

    // The start-up code's switch to 28800, a speed TBaudRate does not offer.
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    dcb.BaudRate = 28800;
    ASSERT_TRUE(port.Handle()->SetState(dcb));
    EXPECT_EQ(rig.fake->State().BaudRate, 28800u);
    EXPECT_EQ(port.BaudRate(), TBaudRate::cbr19200);
    port.SetBaud(115200);
    port.SetBaud(0);  // not a named speed: the last one stays
    EXPECT_EQ(port.BaudRate(), TBaudRate::cbr115200);
    EXPECT_EQ(rig.fake->State().BaudRate, 115200u);
}

TEST(CommPort, BufferLimits) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.fake->SetCts(false);  // nothing leaves, so the transmit buffer only fills
    port.SetOpen(true);
    std::vector<std::uint8_t> big = Bytes(5000);
    EXPECT_EQ(port.PutBlock(big.data(), 5000), 4096);
    EXPECT_EQ(port.PutChar(1), 0);
    port.FlushOutBuffer();
    EXPECT_EQ(port.GetOutBuffUsed(), 0);

    rig.fake->Receive({0x10, 0x20, 0x30});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 3; }));
    EXPECT_EQ(port.GetInBuffFree(), 2045);
    std::uint8_t out[8] = {};
    EXPECT_EQ(port.GetBlock(out, 2) + port.GetBlock(out + 2, 5), 3);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{0x10, 0x20, 0x30}));
}

TEST(CommPort, FailedOpenThenOpenAndCloseTwice) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.fake->SetOpenResult(DeviceError::NotFound);
    port.SetOpen(true);
    EXPECT_FALSE(port.Open() || port.Enabled());
    EXPECT_EQ(port.LastOpenError(), DeviceError::NotFound);
    std::uint8_t byte = 5;
    EXPECT_EQ(port.PutBlock(&byte, 1) + rig.fake->WorkerCalls() + rig.fake->Closes(), 0);
    rig.fake->SetOpenResult(DeviceError::None);
    port.SetOpen(true);
    port.SetOpen(true);
    port.SetOpen(false);
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->Opens() + rig.fake->Closes(), 2);
}

// In a child kept by a process limit from making threads (root is exempt: it becomes nobody).
TEST(CommPort, OpenThatCannotStartItsThreadsClosesTheDevice) {
    const auto closed = AsOrdinaryUser([] {
        rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NPROC, &none) != 0) return false;
        FakePortRig rig;
        rig.port->SetOpen(true);
        return !rig.port->Enabled() && !rig.port->Open() && rig.fake->Opens() == 1 &&
               rig.fake->Closes() == 1 && rig.port->LastOpenError() == DeviceError::Other;
    });
    EXPECT_EQ(closed, std::optional<bool>(true));
}

}  // namespace
}  // namespace zemrik::test
