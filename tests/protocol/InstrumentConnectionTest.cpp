// The connection on a real port, a pseudo-terminal whose other end a thread here plays: a device
// that goes away, or a stop asked for, ends a waiting exchange at once, not after its time-outs.
#include "protocol/InstrumentConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/PtySim.h"

namespace zemrik {
namespace {

using namespace std::chrono;

TEST(InstrumentConnection, AVanishedDeviceOrAStopEndsTheExchangeAtOnce) {
    for (const bool hangUp : {true, false}) {
        SCOPED_TRACE(hangUp ? "the device goes" : "a stop is asked for");
        test::RawTerminal line;
        ASSERT_TRUE(line.OpenNew());
        MainThreadCalls calls;
        std::atomic<bool> requested{false};
        int slept = 0;  // an empty line is waited for, not polled
        WaitStep step{[&](std::uint32_t ms) {
                          slept += ms > 0 ? 1 : 0;
                          calls.WaitAndRunPending(milliseconds(ms));
                      },
                      [&] { calls.Wake(); },
                      {},
                      [&] { return !hangUp && requested; }};
        InstrumentConnection connection(calls, step);
        EXPECT_EQ(connection.Open(1, "/dev/zemrik-no-such-tty"), DeviceError::NotFound);
        EXPECT_FALSE(connection.IsOpen());
        ASSERT_EQ(connection.Open(1, line.SlavePath()), DeviceError::None);
        int told = 0;  // a handler taken back hears nothing
        connection.SetOnDeviceGone([&] { ++told; });
        connection.SetOnDeviceGone({});
        std::thread instrument([&] {
            if (line.Read(2, seconds(5)).size() == 2) line.Write({0xA5});
            requested = line.Read(2, seconds(5)).size() == 2;
            if (hangUp) {
                line.Close();
            } else {
                calls.Wake();  // as a stop signal rings the wait
            }
        });
        const auto start = steady_clock::now();
        EXPECT_EQ(connection.Device().ReadRootTable(), 1);
        instrument.join();
        EXPECT_TRUE(requested);
        EXPECT_GT(slept, 0);
        calls.RunPending();
        EXPECT_EQ(told, 0);
        EXPECT_LT(steady_clock::now() - start, seconds(3));  // not the status byte's 10 s
    }
}

}  // namespace
}  // namespace zemrik
