#include "protocol/TracingPort.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "protocol/InstrumentProtocol.h"
#include "support/FakePort.h"

namespace zemrik {
namespace {

TEST(TracingPortTest, EnvironmentSwitchesTheInstrumentsTrace) {
    ::setenv("ZEMRIK_TRACE", "0", 1);
    EXPECT_FALSE(TraceRequested());
    test::FakeClock clock;
    test::FakePort port(clock);
    port.AnswerNext(2, {0x00, 0x00, 0x00});
    ::setenv("ZEMRIK_TRACE", "port", 1);
    testing::internal::CaptureStderr();
    {
        InstrumentProtocol instrument(port, clock.AsTickSource(), [&](std::uint32_t) { clock.Advance(1); });
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
