#include "link/TracingPort.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "link/Other.h"
#include "support/FakePort.h"

namespace zemrik {
namespace {

TEST(TracingPortTest, PrintsEveryByteBothWaysAndPassesThemOn) {
    test::FakeClock clock;
    test::FakePort inner(clock);
    std::ostringstream out;
    {
        TracingPort port(inner, out, "t");
        port.PutChar(0x55);
        std::uint8_t block[20];
        for (int i = 0; i < 20; ++i) block[i] = static_cast<std::uint8_t>(i * 13);
        port.PutBlock(block, 20);
        inner.Deliver(std::vector<std::uint8_t>{0xA5, 0x00, 0x0F});
        std::string got;
        while (port.CharReady()) got += static_cast<char>(port.GetChar());
        EXPECT_EQ(got, std::string("\xA5\x00\x0F", 3));
        // Destroying the tracer writes out what it still gathered.
    }
    EXPECT_EQ(out.str(),
              "t tx: 55\n"
              "t tx: 00 0D 1A 27 34 41 4E 5B 68 75 82 8F 9C A9 B6 C3\n"
              "t tx: D0 DD EA F7\n"
              "t rx: A5 00 0F\n");
    EXPECT_EQ(inner.Sent().size(), 21u);
    EXPECT_EQ(inner.Sent()[20], 0xF7);
}

// ZEMRIK_TRACE switches the protocol's trace on, whatever its value but "" and "0".
TEST(TracingPortTest, EnvironmentSwitchesTheInstrumentsTrace) {
    for (const char* off : {"", "0"}) {
        ::setenv("ZEMRIK_TRACE", off, 1);
        EXPECT_FALSE(TraceRequested()) << off;
    }
    test::FakeClock clock;
    test::FakePort port(clock);
    port.AnswerNext(2, {0x00, 0x00, 0x00});
    ::setenv("ZEMRIK_TRACE", "port", 1);
    testing::internal::CaptureStderr();
    {
        Instrument instrument(port, clock.AsTickSource(), [&](std::uint32_t) { clock.Advance(1); });
        EXPECT_EQ(instrument.ReadRootTable(), 0);
    }
    const std::string trace = testing::internal::GetCapturedStderr();
    ::unsetenv("ZEMRIK_TRACE");
    EXPECT_EQ(
        trace,
        "zemrik tx: 55\nzemrik tx: AA\nzemrik rx: A5\nzemrik tx: 30\nzemrik tx: 30\nzemrik rx: 00 00 00\n");
}

}  // namespace
}  // namespace zemrik
