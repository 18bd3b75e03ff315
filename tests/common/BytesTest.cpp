#include <gtest/gtest.h>

#include <vector>

#include "common/ByteAccess.h"
#include "common/Exchange.h"
#include "common/HexDump.h"

namespace zemrik {
namespace {

// Floats sit little-endian at odd offsets and are copied byte by byte.
TEST(Bytes, FloatsAreLittleEndianAnywhere) {
    std::uint8_t bytes[6] = {0xEE, 0x00, 0x00, 0xC0, 0x3F, 0xEE};
    EXPECT_EQ(ReadFloatLE(bytes + 1), 1.5f);
    WriteFloatLE(bytes + 1, -2.5f);
    EXPECT_EQ(std::vector<int>(bytes, bytes + 6), (std::vector<int>{0xEE, 0x00, 0x00, 0x20, 0xC0, 0xEE}));
}

TEST(Bytes, HexDumpHasSixteenToALine) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 17; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 0x11 + 0x0A));
    EXPECT_EQ(HexDumpLines("tx:", bytes.data(), bytes.size()),
              "tx: 0A 1B 2C 3D 4E 5F 70 81 92 A3 B4 C5 D6 E7 F8 09\ntx: 1A\n");
    EXPECT_EQ(HexDumpLines("tx:", bytes.data(), 0), "");
}

// Busy from the start of an exchange to its end, said once each, however it ends.
TEST(Bytes, ExchangeScopeMarksTheOwnerBusyUntilItEnds) {
    struct Log : ExchangeObserver {
        std::vector<bool> calls;  // true: started
        void ExchangeStarted() override { calls.push_back(true); }
        void ExchangeEnded() override { calls.push_back(false); }
    } log;
    bool busy = false;
    {
        ExchangeScope scope(busy, &log);
        EXPECT_TRUE(busy);
        scope.End();
        EXPECT_FALSE(busy);
        busy = true;  // someone else's exchange now: the scope's own end must not clear it
    }
    EXPECT_TRUE(busy);
    { ExchangeScope unended(busy, &log); }
    EXPECT_FALSE(busy);
    EXPECT_EQ(log.calls, (std::vector<bool>{true, false, true, false}));
}

}  // namespace
}  // namespace zemrik
