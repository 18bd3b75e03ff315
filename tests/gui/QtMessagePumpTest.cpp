#include <gtest/gtest.h>

#include <thread>

#include "app/QtMessagePump.h"

// A wait far longer than the test's own time-out ends as soon as another thread notifies, and
// a notification given before the wait started is not lost.
TEST(QtMessagePump, NotifyFromAnotherThreadEndsTheWait) {
    QtMessagePump pump;
    constexpr std::uint32_t Forever = 3'600'000;
    std::thread early([&] { pump.Notify(); });
    early.join();
    pump.Wait(Forever);

    std::thread waker([&] { pump.Notify(); });
    pump.Wait(Forever);
    waker.join();
}
