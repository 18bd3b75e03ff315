// The three worker threads against a fake device, and the main-thread call queue they use.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

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
    // The write thread asks the queue count before each look at CTS (the read thread at most
    // once per 500 ms): three asks mean it has looked and found CTS off.
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
    std::uint8_t out[4] = {};
    ASSERT_EQ(port.GetBlock(out, 4), 4);
    // No new event: the room made wakes the read thread, well before its own 500 ms pass.
    ASSERT_TRUE(
        rig.fake->WaitUntil([&] { return port.GetInBuffUsed() == 2; }, std::chrono::milliseconds(250)));
    ASSERT_EQ(port.GetBlock(out, 4), 2);
    EXPECT_EQ(out[1], 6);
}

// Bytes, a worker's call and a vanished device each ring the notifier; workers block stop signals.
TEST(WorkerThreads, DataNotifierAndAVanishedDevice) {
    std::atomic<int> rung{0};
    int served = 0, gone = 0;  // main thread only
    std::thread::id toldOn;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetDataNotifier([&] { ++rung; });
    port.SetOpen(true);
    rig.fake->Receive({1, 2});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung > 0; }, kDeadline));
    EXPECT_EQ(port.GetInBuffUsed(), 2);

    // Told to wait for three bytes, the port rings once they are all in, not for the first.
    std::uint8_t two[2] = {};
    ASSERT_EQ(port.GetBlock(two, 2), 2);
    port.ExpectBytes(3);
    int before = rung;
    rig.fake->Receive({7, 8});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return port.GetInBuffUsed() == 2; }, kDeadline));
    rig.fake->Receive({9});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung > before; }, kDeadline));
    EXPECT_EQ(port.GetInBuffUsed(), 3);
    EXPECT_EQ(rung, before + 1);
    ASSERT_EQ(port.GetBlock(two, 1), 1);
    port.ExpectBytes(1);

    port.SetOnTriggerAvail([&](TObject*, std::uint16_t) { ++served; });
    before = rung;
    rig.fake->Receive({3});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung >= before + 2; }, kDeadline));
    ASSERT_TRUE(rig.Pump([&] { return served > 0 && port.GetInBuffUsed() == 3; }));
    port.SetOnTriggerAvail(nullptr);

    // A vanished device's threads neither spin (a handful of calls in 300 ms, not thousands) nor
    // block the close; the owner hears of it once, on the main thread.
    // A worker may still be inside an OnTriggerAvail it began before the handler went: serve it.
    const int beforeGone = rung;
    port.SetOnDeviceGone([&](TObject*) { ++gone, toldOn = std::this_thread::get_id(); });
    rig.fake->Vanish();
    ASSERT_TRUE(rig.Pump([&] { return rung > beforeGone && gone == 1; }));
    EXPECT_EQ(toldOn, std::this_thread::get_id());
    std::uint8_t bytes[2] = {5, 6};
    EXPECT_EQ(port.PutBlock(bytes, 2), 2);  // accepted into memory; it can never leave
    const int calls = rig.fake->WorkerCalls();
    EXPECT_FALSE(rig.fake->WaitUntil([&] { return rig.fake->WorkerCalls() - calls >= 40; },
                                     std::chrono::milliseconds(300)));
    EXPECT_EQ(port.GetInBuffUsed(), 3);  // what had arrived can still be taken
    rig.calls.RunPending();
    EXPECT_EQ(gone, 1);
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->Closes(), 1);
    EXPECT_EQ(rig.fake->WorkerCallsOpenToStopSignals(), 0);
}

}  // namespace
}  // namespace zemrik::test
