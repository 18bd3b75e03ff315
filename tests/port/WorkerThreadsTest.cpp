// The three worker threads against a fake device, and the main-thread call queue they use.
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

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

// Once CTS comes on, held bytes leave at once, not on the write thread's next pass 100 ms later:
// the status thread stores the new state before it wakes the writer. The woken writer gets every
// chance to run ahead of that store: all threads on one core, the writer above the others.
TEST(WorkerThreads, HeldBytesLeaveAsSoonAsCtsComesOn) {
    using namespace std::chrono;
    struct OneCore {  // for this thread and the workers it starts, until the test ends
        cpu_set_t saved;
        OneCore() {
            ::sched_getaffinity(0, sizeof saved, &saved);
            cpu_set_t one;
            CPU_ZERO(&one);
            for (int cpu = 0; cpu < CPU_SETSIZE && CPU_COUNT(&one) == 0; ++cpu)
                if (CPU_ISSET(cpu, &saved)) CPU_SET(cpu, &one);
            ::sched_setaffinity(0, sizeof one, &one);
        }
        ~OneCore() { ::sched_setaffinity(0, sizeof saved, &saved); }
    } oneCore;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    // A real-time writer takes the core the moment it is woken (where the system allows it: root
    // may; elsewhere the race shows only now and then).
    rig.fake->OnWriteThread([] {
        sched_param first{1};
        ::sched_setscheduler(0, SCHED_FIFO, &first);
    });
    port.SetOpen(true);
    std::vector<int> slow;  // milliseconds of the rounds over 50
    for (int round = 0; round < 20; ++round) {
        rig.fake->SetCts(false);
        ASSERT_TRUE(rig.fake->WaitUntil([&] { return !port.CTSState(); }, kDeadline));
        const std::size_t sent = rig.fake->Written().size();
        const int counts = rig.fake->QueueCountCalls();
        ASSERT_EQ(port.PutChar(static_cast<std::uint8_t>(round)), 1);
        // The write thread has looked (it asks the queue count first) and now waits out its pass.
        ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->QueueCountCalls() > counts; }, kDeadline));
        ASSERT_EQ(rig.fake->Written().size(), sent);  // held while CTS is off
        const auto on = steady_clock::now();
        rig.fake->SetCts(true);
        ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->Written().size() > sent; }, kDeadline));
        EXPECT_EQ(rig.fake->Written().back(), round);
        const auto took = duration_cast<milliseconds>(steady_clock::now() - on).count();
        if (took > 50) slow.push_back(static_cast<int>(took));
    }
    // One slow round is a loaded machine's; the race made every round slow.
    EXPECT_LE(slow.size(), 1u) << testing::PrintToString(slow);
}

// An idle open port sleeps between its passes, also over a device that says bytes arrived on
// every look though none did: a second of it costs the process a few milliseconds, not a core.
TEST(WorkerThreads, IdlePortDoesNotSpinOverABabblingDevice) {
    FakePortRig rig;
    rig.port->SetOpen(true);
    rig.fake->Babble();
    EXPECT_LT(ProcessCpuDuring(std::chrono::seconds(1)).count(), 100);
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

// A line change with nothing received announces no data to the data handler.
TEST(WorkerThreads, EventsWithoutBytesAnnounceNoData) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    int served = 0, ctsChanges = 0;
    port.SetOnTriggerAvail([&](TObject*, std::uint16_t) { ++served; });
    port.SetOnCTSSignal([&](TObject*) { ++ctsChanges; });
    port.SetOpen(true);
    for (const bool on : {false, true}) {
        const int before = ctsChanges;
        rig.fake->SetCts(on);
        ASSERT_TRUE(rig.Pump([&] { return ctsChanges > before; }));
    }
    rig.calls.RunPending();
    EXPECT_EQ(served, 0);
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
