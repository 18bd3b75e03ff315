// The three worker threads against a fake device, and the main-thread call queue they use.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

TEST(MainThreadCalls, WorkerWaitsForTheMainThreadOrShutdown) {
    MainThreadCalls calls;
    std::atomic<int> notified{0};
    std::promise<void> secondHandedOver;
    calls.SetNotifier([&] {
        if (++notified == 2) secondHandedOver.set_value();
    });
    int ran = 0;  // touched on this thread only, by the call
    std::atomic<bool> result{false};
    std::thread worker([&] { result = calls.Call([&] { ++ran; }); });
    ASSERT_TRUE(PumpUntil(calls, [&] { return ran == 1; }));
    worker.join();
    EXPECT_TRUE(result);

    // A call nobody runs is released, unrun, by Shutdown; later calls are refused.
    std::thread stuck([&] { result = calls.Call([&] { ++ran; }); });
    ASSERT_EQ(secondHandedOver.get_future().wait_for(kDeadline), std::future_status::ready);
    calls.Shutdown();
    stuck.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(calls.Call([] {}));
    EXPECT_EQ(ran, 1);
}

TEST(WorkerThreads, BytesWaitForCtsAndLeaveWhenItComesOn) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.fake->SetCts(false);
    port.SetOpen(true);
    EXPECT_FALSE(port.CTSState());
    std::vector<std::uint8_t> data = Bytes(300, 3);
    const int counts = rig.fake->QueueCountCalls();
    ASSERT_EQ(port.PutBlock(data.data(), 300), 300);
    // The write thread asks the queue count before it looks at CTS, in each pass (one per wake,
    // then one every 100 ms); the read thread asks once per 500 ms. Three asks mean the write
    // thread has looked, and the next put waits for the pass it may be in.
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->QueueCountCalls() >= counts + 3; }, kDeadline));
    ASSERT_EQ(port.PutChar(0xEE), 1);
    EXPECT_TRUE(rig.fake->Written().empty());

    rig.fake->SetCts(true);
    data.push_back(0xEE);
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->Written() == data; }, kDeadline));
    ASSERT_TRUE(rig.Pump([&] { return port.GetOutBuffUsed() == 0; }));
}

TEST(WorkerThreads, MakingRoomInAFullReceiveBufferFetchesTheRest) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetInSize(4);
    port.SetOpen(true);
    rig.fake->Receive({1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 4; }));
    EXPECT_EQ(rig.fake->QueuedForReading(), 2u);
    std::uint8_t out[4] = {};
    ASSERT_EQ(port.GetBlock(out, 4), 4);
    // No new event: the room made wakes the read thread. Bounded well under the thread's own
    // 500 ms pass, which would fetch the bytes too, only late.
    ASSERT_TRUE(
        rig.fake->WaitUntil([&] { return port.GetInBuffUsed() == 2; }, std::chrono::milliseconds(250)));
    ASSERT_EQ(port.GetBlock(out, 4), 2);
    EXPECT_EQ(out[1], 6);
}

// What a pump asleep until something happens relies on: bytes, a worker's call and a vanished
// device each ring the notifier; and the workers leave the stop signals to the main thread.
TEST(WorkerThreads, DataNotifierAndAVanishedDevice) {
    std::atomic<int> rung{0};
    int served = 0;  // main thread only
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetDataNotifier([&] { ++rung; });
    port.SetOpen(true);
    rig.fake->Receive({1, 2});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung > 0; }, kDeadline));
    EXPECT_EQ(port.GetInBuffUsed(), 2);

    port.SetOnTriggerAvail([&](TObject*, std::uint16_t) { ++served; });
    const int before = rung;
    rig.fake->Receive({3});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung >= before + 2; }, kDeadline));
    ASSERT_TRUE(rig.Pump([&] { return served > 0 && port.GetInBuffUsed() == 3; }));
    port.SetOnTriggerAvail(nullptr);

    // A vanished device rings too, and its threads neither spin nor block the close. Idle threads
    // make a handful of calls in 300 ms (read every 500, write every 100); a spinning one makes
    // thousands, so the wait ends early only on a fault.
    const int beforeGone = rung;
    rig.fake->Vanish();
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung > beforeGone; }, kDeadline));
    std::uint8_t bytes[2] = {5, 6};
    EXPECT_EQ(port.PutBlock(bytes, 2), 2);  // accepted into memory; it can never leave
    const int calls = rig.fake->WorkerCalls();
    EXPECT_FALSE(rig.fake->WaitUntil([&] { return rig.fake->WorkerCalls() - calls >= 40; },
                                     std::chrono::milliseconds(300)));
    EXPECT_EQ(port.GetInBuffUsed(), 3);  // what had arrived can still be taken
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->Closes(), 1);
    EXPECT_EQ(rig.fake->WorkerCallsOpenToStopSignals(), 0);
}

TEST(WorkerThreads, CloseServesACallPendingFromAWorker) {
    std::atomic<int> handed{0};
    int served = 0;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.calls.SetNotifier([&] { ++handed; });
    port.SetOnTriggerAvail([&](TObject*, std::uint16_t) { ++served; });
    port.SetOpen(true);
    rig.fake->Receive({1});
    // The read thread now blocks in its hand-over; nobody pumps until the close.
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return handed > 0; }, kDeadline));
    EXPECT_EQ(served, 0);
    port.SetOpen(false);
    EXPECT_GE(served, 1);
}

}  // namespace
}  // namespace zemrik::test
