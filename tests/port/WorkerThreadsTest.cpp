// The three worker threads against a fake device, and the main-thread call queue they use.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

using std::chrono::milliseconds;

TEST(MainThreadCalls, WorkerWaitsForTheMainThreadOrShutdown) {
    MainThreadCalls calls;
    std::atomic<int> notified{0};
    std::promise<void> secondHandedOver;
    calls.SetNotifier([&] {
        if (++notified == 2) secondHandedOver.set_value();
    });
    int ran = 0;  // touched on this thread only, by the call
    std::atomic<bool> returned{false};
    std::atomic<bool> result{false};
    std::thread worker([&] {
        result = calls.Call([&] { ++ran; });
        returned = true;
    });
    ASSERT_TRUE(PumpUntil(calls, [&] { return ran == 1; }));
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_TRUE(result);
    EXPECT_EQ(notified, 1);

    // A call nobody runs is released, unrun, by Shutdown; later calls are refused.
    std::thread stuck([&] { result = calls.Call([&] { ++ran; }); });
    ASSERT_EQ(secondHandedOver.get_future().wait_for(kDeadline), std::future_status::ready);
    calls.Shutdown();
    stuck.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(calls.Call([] {}));
    EXPECT_EQ(calls.RunPending(), 0);
    EXPECT_EQ(ran, 1);
}

TEST(WorkerThreads, BytesWaitForCtsAndLeaveWhenItComesOn) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.fake->SetCts(false);
    port.SetOpen(true);
    std::vector<std::uint8_t> data = Bytes(300, 3);
    ASSERT_EQ(port.PutBlock(data.data(), 300), 300);
    // Wake the write thread a few times: with CTS off it must still send nothing.
    for (int i = 0; i < 3; ++i) port.PutBlock(data.data(), 0);
    std::uint8_t one = 0xEE;
    ASSERT_EQ(port.PutChar(one), 1);
    EXPECT_TRUE(rig.fake->Written().empty());
    EXPECT_EQ(port.GetOutBuffUsed(), 301);

    rig.fake->SetCts(true);
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->Written().size() == 301; }, kDeadline));
    data.push_back(one);
    EXPECT_EQ(rig.fake->Written(), data);
    ASSERT_TRUE(rig.Pump([&] { return port.GetOutBuffUsed() == 0; }));
    EXPECT_TRUE(port.CTSState());
}

TEST(WorkerThreads, FullReceiveBufferLeavesBytesInTheDevice) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetInSize(4);
    port.SetOpen(true);
    rig.fake->Receive({1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 4; }));
    EXPECT_EQ(rig.fake->QueuedForReading(), 2u);
    EXPECT_EQ(port.GetInBuffFree(), 0);

    std::uint8_t out[4] = {};
    ASSERT_EQ(port.GetBlock(out, 4), 4);
    EXPECT_EQ(out[3], 4);
    // No new event: making room wakes the read thread, which fetches the rest. Bounded well
    // under the read thread's own 500 ms pass, which would fetch it too, only late.
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return port.GetInBuffUsed() == 2; }, milliseconds(250)));
    EXPECT_EQ(rig.fake->QueuedForReading(), 0u);
    ASSERT_EQ(port.GetBlock(out, 4), 2);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(out[1], 6);
}

// What a pump sleeping until something happens relies on: bytes, a worker's call and a vanished
// device each ring the notifier; and the workers leave the stop signals to the main thread.
TEST(WorkerThreads, DataNotifierRingsForBytesCallsAndAVanishedDevice) {
    std::atomic<int> rung{0};
    int served = 0;  // main thread only
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetDataNotifier([&] { ++rung; });
    port.SetOpen(true);
    rig.fake->Receive({1, 2});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung > 0; }, kDeadline));
    EXPECT_EQ(port.GetInBuffUsed(), 2);

    // The pump is asleep: only the notifier tells it that a worker waits for it.
    port.SetOnTriggerAvail([&](TObject*, std::uint16_t) { ++served; });
    const int before = rung;
    rig.fake->Receive({3});
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung >= before + 2; }, kDeadline));
    ASSERT_TRUE(rig.Pump([&] { return served > 0; }));
    port.SetOnTriggerAvail(nullptr);

    const int beforeGone = rung;
    rig.fake->Vanish();
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rung > beforeGone; }, kDeadline));
    std::uint8_t byte = 9;
    port.PutBlock(&byte, 1);
    port.SetOpen(false);
    EXPECT_GT(rig.fake->WorkerCalls(), 0);
    EXPECT_EQ(rig.fake->WorkerCallsOpenToStopSignals(), 0);
}

TEST(WorkerThreads, TriggerAvailRepeatsWhileBytesStayWithTheLow16BitsOfTheCount) {
    std::vector<std::uint16_t> counts;  // main thread only
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetInSize(70000);
    port.SetOnTriggerAvail([&](TObject* sender, std::uint16_t count) {
        EXPECT_EQ(sender, &port);
        counts.push_back(count);
    });
    port.SetOpen(true);
    EXPECT_TRUE(counts.empty());  // nothing received, nothing announced
    rig.fake->Receive(Bytes(70000));
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 70000 && !counts.empty(); }));
    const std::size_t seen = counts.size();
    // Every further event announces the same unread bytes again.
    rig.fake->SetCts(false);
    rig.fake->SetCts(true);
    ASSERT_TRUE(rig.Pump([&] { return counts.size() >= seen + 2; }));
    for (std::size_t i = seen - 1; i < counts.size(); ++i) EXPECT_EQ(counts[i], 70000 - 65536) << i;
    EXPECT_EQ(port.GetInBuffUsed(), 70000);
}

TEST(WorkerThreads, CloseEndsThreadsOfASilentPortAndAStuckWrite) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOpen(true);
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->Closes(), 1);

    // The driver never takes the bytes (hardware flow control holding the line): close cuts
    // the write short instead of waiting for it forever.
    port.SetOpen(true);
    rig.fake->HoldWrites(true);
    std::uint8_t bytes[3] = {1, 2, 3};
    ASSERT_EQ(port.PutBlock(bytes, 3), 3);
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->WriteInProgress(); }, kDeadline));
    // A flush must not wait for that write either: it aborts it.
    port.FlushOutBuffer();
    EXPECT_EQ(port.GetOutBuffUsed(), 0);
    ASSERT_EQ(port.PutBlock(bytes, 3), 3);
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->WriteInProgress(); }, kDeadline));
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->Closes(), 2);
    EXPECT_FALSE(rig.fake->WriteInProgress());
    EXPECT_TRUE(rig.fake->Written().empty());
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
    // The read thread now blocks in its hand-over; nobody pumps until ClosePort.
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return handed > 0; }, kDeadline));
    EXPECT_EQ(served, 0);
    port.SetOpen(false);
    EXPECT_GE(served, 1);
    EXPECT_FALSE(port.Open());
}

TEST(WorkerThreads, VanishedDeviceNeitherSpinsNorBlocksClose) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOpen(true);
    rig.fake->Receive({1, 2});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 2; }));

    rig.fake->Vanish();
    std::uint8_t bytes[2] = {5, 6};
    EXPECT_EQ(port.PutBlock(bytes, 2), 2);  // accepted into memory; it can never leave
    int before = rig.fake->WorkerCalls();
    // An observation window, not a wait for an event: idle threads make a handful of calls
    // in it (read every 500 ms, write every 100 ms); a spinning one would make thousands.
    std::this_thread::sleep_for(milliseconds(300));
    int during = rig.fake->WorkerCalls() - before;
    EXPECT_LT(during, 40);
    EXPECT_TRUE(rig.fake->Written().empty());
    EXPECT_EQ(port.GetOutBuffUsed(), 2);
    EXPECT_EQ(port.GetInBuffUsed(), 2);  // what had arrived can still be taken

    port.SetOpen(false);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(rig.fake->Closes(), 1);
}

}  // namespace
}  // namespace zemrik::test
