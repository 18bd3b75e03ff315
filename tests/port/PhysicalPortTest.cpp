// Checks on a real serial device, run only when ZEMRIK_TEST_PORT names one (e.g. /dev/ttyUSB0):
//   ZEMRIK_TEST_PORT_LOOPBACK=1  the port has a loop-back plug (TX to RX, RTS to CTS);
//   ZEMRIK_TEST_INSTRUMENT=1     an instrument is connected and switched on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "link/Other.h"
#include "link/PosixSerialDevice.h"
#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::string(value) == "1";
}

struct PhysicalPort : ::testing::Test {
    void SetUp() override {
        const char* path = std::getenv("ZEMRIK_TEST_PORT");
        if (path == nullptr || *path == '\0') GTEST_SKIP() << "ZEMRIK_TEST_PORT names no device";
        port.PortNames().SetPath(1, path);
        port.SetComNumber(1);
        port.SetOpen(true);
        ASSERT_TRUE(port.Enabled()) << "cannot open " << path;
        // As the program does after opening: only the speed changes, to the instrument's 28800.
        Dcb dcb;
        ASSERT_TRUE(port.Handle()->GetState(dcb));
        dcb.BaudRate = 28800;
        ASSERT_TRUE(port.Handle()->SetState(dcb));
    }
    MainThreadCalls calls;
    TCommPort port{nullptr, std::make_unique<PosixSerialDevice>(), &calls};
};

TEST_F(PhysicalPort, TakesTheInstrumentSpeedAndKeepsOthersOut) {
    Dcb dcb;
    ASSERT_TRUE(port.Handle()->GetState(dcb));
    EXPECT_EQ(dcb.BaudRate, 28800u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    PosixSerialDevice second;
    // Root gets past the kernel's exclusive-use lock, so only an ordinary user can see it.
    if (::geteuid() != 0) {
        EXPECT_EQ(second.Open(std::getenv("ZEMRIK_TEST_PORT")), DeviceError::Busy);
    }
}

TEST_F(PhysicalPort, LoopBackCarriesEveryByteValue) {
    if (!EnvSet("ZEMRIK_TEST_PORT_LOOPBACK")) GTEST_SKIP() << "no loop-back plug declared";
    const std::vector<std::uint8_t> sent = Bytes(512, 3);
    ASSERT_EQ(port.PutBlock(sent.data(), static_cast<int>(sent.size())), 512);
    std::vector<std::uint8_t> received;
    ASSERT_TRUE(PumpUntil(calls, [&] {
        while (port.CharReady()) received.push_back(port.GetChar());
        return received.size() >= sent.size();
    }));
    EXPECT_EQ(received, sent);
}

TEST_F(PhysicalPort, InstrumentAnswersTheRootTableRequest) {
    if (!EnvSet("ZEMRIK_TEST_INSTRUMENT")) GTEST_SKIP() << "no instrument declared";
    port.SetDataNotifier([&] { calls.Wake(); });
    Instrument instrument(port, SteadyMilliseconds, [&](std::uint32_t maxWaitMs) {
        calls.WaitAndRunPending(std::chrono::milliseconds(port.CharReady() ? 0 : maxWaitMs));
    });
    EXPECT_EQ(instrument.ReadRootTable(), 0);
}

}  // namespace
}  // namespace zemrik::test
