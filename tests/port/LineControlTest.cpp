// The port component's surface beyond bytes: the settings an open applies, the output lines, the
// input lines, the events and their order, and how quickly its threads answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

using namespace std::chrono;

// What a handler saw, in order.
struct Calls {
    std::vector<std::string> names;
    void Assign(TCommPort& port) {
        const auto note = [this](const char* name) {
            return [this, name](TObject*) { names.push_back(name); };
        };
        port.SetOnRLSDSignal(note("RLSD"));
        port.SetOnBreakSignal(note("BREAK"));
        port.SetOnCTSSignal(note("CTS"));
        port.SetOnDSRSignal(note("DSR"));
        port.SetOnErrorSignal(
            [this](TObject*, std::int32_t errors) { names.push_back("ERR " + std::to_string(errors)); });
        port.SetOnRingSignal(note("RING"));
        port.SetOnTxEmptySignal(note("TXEMPTY"));
        port.SetOnDTRSignal(note("DTR"));
        port.SetOnOpen(
            [this](TObject*, std::int32_t error) { names.push_back("OPEN " + std::to_string(error)); });
    }
};

TEST(LineControl, OpenAppliesTheSettingsMadeBeforeIt) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetBaudRate(TBaudRate::cbr9600);
    port.SetParity(TParity::paEven);
    port.SetStopbits(TStopbits::sb1_5);
    port.SetDatabits(7);
    EXPECT_EQ(rig.fake->Opens(), 0);
    port.SetOpen(true);
    const Dcb dcb = rig.fake->State();
    EXPECT_EQ(std::vector<std::uint32_t>({dcb.BaudRate, dcb.Flags, dcb.ByteSize, dcb.Parity, dcb.StopBits}),
              std::vector<std::uint32_t>({9600, 0x205C, 7, 2, 1}));
    EXPECT_EQ(port.Baud(), 9600);
}

// Events reach their handlers in one fixed order, each only for its own bit; an open raises the
// input lines' events once, whatever the lines are.
TEST(LineControl, EventsInTheirOrder) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    Calls calls;
    calls.Assign(port);
    port.SetOpen(true);
    EXPECT_EQ(calls.names, (std::vector<std::string>{"RLSD", "CTS", "DSR", "RING", "OPEN 0"}));
    const std::pair<std::uint32_t, std::vector<std::string>> masks[] = {
        {0x1FF, {"RLSD", "BREAK", "CTS", "DSR", "ERR 0", "RING", "TXEMPTY"}},
        {EV_RXCHAR | EV_RXFLAG, {}},
        {EV_TXEMPTY, {"TXEMPTY"}},
        {EV_BREAK | EV_ERR, {"BREAK", "ERR 0"}}};
    for (const auto& [mask, expected] : masks) {
        calls.names.clear();
        port.HandleTC32Event(nullptr, mask);
        EXPECT_EQ(calls.names, expected) << mask;
    }
    // A write's end comes as an event too.
    calls.names.clear();
    ASSERT_EQ(port.PutString("ab"), 2);
    ASSERT_TRUE(rig.Pump([&] { return !calls.names.empty(); }));
    EXPECT_EQ(calls.names, std::vector<std::string>{"TXEMPTY"});
    EXPECT_EQ(rig.fake->Written(), (std::vector<std::uint8_t>{'a', 'b'}));
    EXPECT_EQ(port.PutString(""), 0);
}

// DTR, RTS and break reach the device only while it is open; DTR's handler runs on the main
// thread while the port runs.
TEST(LineControl, OutputLinesAndInputLines) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    Calls calls;
    port.SetDTR(true);
    port.SetRTS(true);
    EXPECT_FALSE(port.Set_BREAK(true));
    EXPECT_TRUE(port.DTR() && port.RTS());
    EXPECT_FALSE(port.GetModemState(1));
    port.SetOpen(true);
    calls.Assign(port);
    port.SetDTR(false);
    port.SetDTR(true);
    port.SetRTS(false);
    port.SetRTS(true);
    EXPECT_TRUE(port.Set_BREAK(true));
    EXPECT_TRUE(port.Set_BREAK(false));
    EXPECT_EQ(rig.fake->Escapes(), (std::vector<int>{6, 5, 4, 3, 8, 9}));
    EXPECT_EQ(calls.names, (std::vector<std::string>{"DTR", "DTR"}));
    const auto start = steady_clock::now();
    port.SendBreak(2);
    EXPECT_GE(steady_clock::now() - start, milliseconds(110));
    EXPECT_EQ(rig.fake->Escapes().size(), 8u);
    // CTS and DSR on, RING and RLSD off; no such line 0 or 5.
    std::string lines;
    for (int line = 0; line <= 5; ++line) lines += port.GetModemState(line) ? '1' : '0';
    EXPECT_EQ(lines, "011000");
    port.SetOpen(false);
    EXPECT_FALSE(port.DTR());
}

// Nothing waits out a pass: an open, a byte put, a worker's call to the main thread and a close
// each take a few milliseconds, not the threads' 50 ms end checks, 100 ms passes or 1 s. Each is
// the quickest of five: a loaded machine may delay one, a thread left asleep delays them all.
TEST(LineControl, ThreadsAnswerAtOnce) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    steady_clock::duration open = kDeadline, put = kDeadline, close = kDeadline;
    const auto timed = [](steady_clock::duration& quickest, const std::function<void()>& step) {
        const auto start = steady_clock::now();
        step();
        quickest = std::min(quickest, steady_clock::now() - start);
    };
    for (std::size_t round = 1; round <= 5; ++round) {
        timed(open, [&] { port.SetOpen(true); });
        timed(put, [&] {
            ASSERT_EQ(port.PutChar(0x42), 1);
            ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->Written().size() == round; }, kDeadline));
        });
        timed(close, [&] { port.SetOpen(false); });
    }
    EXPECT_LT(open, milliseconds(100));
    EXPECT_LT(put, milliseconds(50));
    EXPECT_LT(close, milliseconds(100));
    // A worker's call wakes the main thread's wait at once.
    MainThreadCalls calls;
    bool ran = false;
    std::thread worker([&] { calls.Call([&] { ran = true; }); });
    const auto start = steady_clock::now();
    while (!ran && steady_clock::now() - start < kDeadline) calls.WaitAndRunPending(kDeadline);
    EXPECT_LT(steady_clock::now() - start, milliseconds(500));
    worker.join();
}

TEST(LineControl, ErrorTextNumbersAndSearch) {
    const std::pair<std::int16_t, int> codes[] = {{0, 11000},    {-150, 11950}, {2005, 11205},
                                                  {1150, 11250}, {199, 11999},  {-32768, 14968}};
    for (const auto& [code, number] : codes) {
        EXPECT_EQ(ErrorMsgResourceNumber(code), number) << code;
        EXPECT_EQ(ErrorMsg(code), "");
    }
    TComponent form;
    TComponent panel(&form);
    TCommPort deep(&panel, std::make_unique<FakeSerialDevice>());
    EXPECT_EQ(SearchComPort(nullptr), nullptr);
    EXPECT_EQ(SearchComPort(&form), &deep);
    TCommPort near(&form, std::make_unique<FakeSerialDevice>());
    EXPECT_EQ(SearchComPort(&form), &deep);  // depth first: the panel came first
}

}  // namespace
}  // namespace zemrik::test
