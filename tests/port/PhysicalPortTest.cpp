// Run only when ZEMRIK_TEST_PORT names a device (e.g. /dev/ttyUSB0); ZEMRIK_TEST_PORT_LOOPBACK=1
// declares a loop-back plug (TX to RX, RTS to CTS), ZEMRIK_TEST_INSTRUMENT=1 an instrument.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "port/PortTestSupport.h"
#include "port/PosixSerialDevice.h"
#include "protocol/InstrumentProtocol.h"

namespace zemrik::test {
namespace {

bool EnvSet(const char* name) {
    return std::getenv(name) != nullptr && std::string(std::getenv(name)) == "1";
}

struct PhysicalPort : ::testing::Test {
    void SetUp() override {
        const char* path = std::getenv("ZEMRIK_TEST_PORT");
        if (path == nullptr || *path == '\0') GTEST_SKIP() << "ZEMRIK_TEST_PORT names no device";
        port.PortNames().SetPath(1, path);
        port.SetComNumber(1);
        port.SetOpen(true);
        ASSERT_TRUE(port.Enabled()) << "cannot open " << path;
        Dcb dcb;  // as the program does: only the speed changes, to the instrument's 28800
        ASSERT_TRUE(port.Handle()->GetState(dcb));
        dcb.BaudRate = 28800;
        ASSERT_TRUE(port.Handle()->SetState(dcb) && port.Handle()->GetState(dcb));
        ASSERT_EQ(dcb.BaudRate, 28800u);
    }
    MainThreadCalls calls;
    TCommPort port{nullptr, std::make_unique<PosixSerialDevice>(), &calls};
};

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
    InstrumentProtocol instrument(port, SteadyMilliseconds, [&](std::uint32_t maxWaitMs) {
        calls.WaitAndRunPending(std::chrono::milliseconds(port.CharReady() ? 0 : maxWaitMs));
    });
    EXPECT_EQ(instrument.ReadRootTable(), 0);
}

}  // namespace
}  // namespace zemrik::test
