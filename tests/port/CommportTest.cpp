// The port's own logic against a fake device: buffers, line control, open and close, events.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "port/PortTestSupport.h"

namespace zemrik::test {
namespace {

// Default speed, framing and buffer sizes are checked where Open and the buffers apply them.
TEST(Commport, ClosedPortResults) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    EXPECT_EQ(port.ComNumber(), 2);
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.Enabled());
    EXPECT_EQ(port.Handle(), nullptr);

    std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(port.PutBlock(data, 4) + port.PutChar(9) + port.PutString("abc"), 0);
    EXPECT_EQ(port.GetBlock(data, 4) + port.GetChar() + port.GetOutQueCount() + port.GetOutBuffUsed(), 0);
    EXPECT_FALSE(port.CharReady() || port.Set_BREAK(true));
    port.FlushInBuffer();
    port.FlushOutBuffer();
    // Line settings on a closed port only store the property.
    port.SetParity(TParity::paEven);
    port.SetDTR(true);
    EXPECT_EQ(port.Parity(), TParity::paEven);
    EXPECT_TRUE(rig.fake->Purges().empty() && rig.fake->Escapes().empty());
    EXPECT_EQ(rig.fake->Opens(), 0);
}

TEST(Commport, OpenAppliesLineSettingsAndOpenComSwitchesTo28800) {
    std::vector<std::int32_t> opened;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOnOpen([&](TObject* sender, std::int32_t error) {
        EXPECT_EQ(sender, &port);
        opened.push_back(error);
    });
    port.SetComNumber(3);
    port.PortNames().SetPath(3, "/dev/ttyUSB7");
    port.SetOpen(true);
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.Enabled());
    EXPECT_EQ(rig.fake->LastPath(), "/dev/ttyUSB7");
    EXPECT_EQ(opened, std::vector<std::int32_t>{0});
    EXPECT_EQ(rig.fake->EventMask(), 0x1FDu);

    Dcb dcb = rig.fake->State();
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.Flags, 0x205Cu);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);

    port.SetParity(TParity::paMark);
    port.SetStopbits(TStopbits::sb2_0);
    port.SetDatabits(0x107);  // only the low byte reaches the device
    dcb = rig.fake->State();
    EXPECT_EQ(dcb.Parity, 3);
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_EQ(dcb.ByteSize, 7);

    // The start-up code's switch to a speed TBaudRate does not offer, through Handle.
    ASSERT_NE(port.Handle(), nullptr);
    Dcb current;
    ASSERT_TRUE(port.Handle()->GetState(current));
    current.BaudRate = 28800;
    ASSERT_TRUE(port.Handle()->SetState(current));
    EXPECT_EQ(rig.fake->State().BaudRate, 28800u);
    EXPECT_EQ(rig.fake->State().ByteSize, 7);
    EXPECT_EQ(port.BaudRate(), TBaudRate::cbr19200);
}

TEST(Commport, SetBaudAcceptsOnlyTheFifteenSpeeds) {
    struct Case {
        int speed;
        TBaudRate expected;
    };
    const Case cases[] = {
        {28800, TBaudRate::cbr19200}, {115200, TBaudRate::cbr115200}, {0, TBaudRate::cbr115200},
        {110, TBaudRate::cbr110},     {256000, TBaudRate::cbr256000}, {-9600, TBaudRate::cbr256000},
        {9600, TBaudRate::cbr9600},
    };
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOpen(true);
    for (const Case& c : cases) {
        port.SetBaud(c.speed);
        EXPECT_EQ(port.BaudRate(), c.expected) << c.speed;
        EXPECT_EQ(static_cast<int>(rig.fake->State().BaudRate), port.Baud()) << c.speed;
    }
}

TEST(Commport, BufferRules) {
    FakePortRig rig;
    TCommPort& port = *rig.port;
    rig.fake->SetCts(false);  // nothing leaves, so the transmit buffer only fills
    port.SetOpen(true);
    ASSERT_TRUE(port.Enabled());
    EXPECT_FALSE(port.CTSState());

    std::vector<std::uint8_t> big = Bytes(5000);
    EXPECT_EQ(port.PutBlock(big.data(), 0) + port.PutBlock(big.data(), -3), 0);
    EXPECT_EQ(port.PutBlock(big.data(), 5000), 4096);
    EXPECT_EQ(port.GetOutBuffFree(), 0);
    EXPECT_EQ(port.PutBlock(big.data(), 5000) + port.PutChar(1), 0);
    EXPECT_TRUE(rig.fake->Written().empty());

    port.FlushOutBuffer();
    EXPECT_EQ(port.GetOutBuffUsed(), 0);
    EXPECT_EQ(rig.fake->Purges(), std::vector<std::string>{"tx"});
    EXPECT_EQ(port.PutString("ab") + port.PutString(""), 2);
    EXPECT_EQ(port.GetOutBuffUsed(), 2);
    EXPECT_EQ(port.GetInBuffFree(), 2048);

    rig.fake->Receive({0x10, 0x20, 0x30});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 3; }));
    EXPECT_EQ(port.GetInBuffFree(), 2045);
    std::uint8_t out[8] = {};
    EXPECT_EQ(port.GetBlock(out, 0), 0);
    EXPECT_EQ(port.GetBlock(out, 2), 2);
    EXPECT_EQ(port.GetInBuffUsed(), 1);
    EXPECT_EQ(port.GetBlock(out + 2, 5), 1);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{0x10, 0x20, 0x30}));

    rig.fake->Receive({0x00, 0x41});
    ASSERT_TRUE(rig.Pump([&] { return port.GetInBuffUsed() == 2; }));
    EXPECT_TRUE(port.CharReady());
    EXPECT_EQ(port.GetChar(), 0x00);
    port.FlushInBuffer();
    EXPECT_EQ(port.GetInBuffUsed(), 0);
    EXPECT_EQ(rig.fake->Purges().back(), "rx");
}

TEST(Commport, OpenAndCloseTwiceAndAFailedOpen) {
    int opens = 0;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOnOpen([&](TObject*, std::int32_t) { ++opens; });

    rig.fake->SetOpenResult(DeviceError::NotFound);
    port.SetOpen(true);
    EXPECT_FALSE(port.Open() || port.Enabled());
    EXPECT_EQ(port.LastOpenError(), DeviceError::NotFound);
    EXPECT_EQ(opens, 0);
    std::uint8_t byte = 5;
    EXPECT_EQ(port.PutBlock(&byte, 1), 0);  // no buffer is held
    EXPECT_EQ(port.GetOutBuffFree(), 4096);
    EXPECT_EQ(rig.fake->WorkerCalls(), 0);
    port.SetOpen(false);
    EXPECT_EQ(rig.fake->Closes(), 0);

    rig.fake->SetOpenResult(DeviceError::None);
    port.SetOpen(true);
    port.SetOpen(true);
    EXPECT_EQ(rig.fake->Opens(), 1);
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(port.LastOpenError(), DeviceError::None);
    EXPECT_EQ(port.PutBlock(&byte, 1), 1);
    ASSERT_TRUE(rig.fake->WaitUntil([&] { return rig.fake->Written().size() == 1; }, kDeadline));

    port.SetDTR(true);
    port.SetOpen(false);
    port.SetOpen(false);
    EXPECT_FALSE(port.Open() || port.Enabled() || port.DTR());
    EXPECT_EQ(rig.fake->Closes(), 1);
    EXPECT_EQ(port.GetOutBuffUsed(), 0);

    // A fresh open starts with empty buffers.
    port.SetOpen(true);
    EXPECT_EQ(rig.fake->Opens(), 2);
    EXPECT_EQ(port.GetInBuffUsed(), 0);
    EXPECT_EQ(port.GetOutBuffFree(), 4096);
}

// With no thread to be had, the open gives up and closes what it opened. Run in a child that a
// process limit keeps from making threads (root is exempt, so the child turns into nobody).
TEST(Commport, OpenThatCannotStartItsThreadsClosesTheDevice) {
    pid_t child = ::fork();
    if (child == 0) {
        rlimit none{0, 0};
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::setrlimit(RLIMIT_NPROC, &none) != 0)
            ::_exit(100);
        FakePortRig rig;
        rig.port->SetOpen(true);
        const bool closed = !rig.port->Enabled() && !rig.port->Open() && rig.fake->Opens() == 1 &&
                            rig.fake->Closes() == 1 && rig.port->LastOpenError() == DeviceError::Other;
        rig.port.reset();
        ::_exit(closed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 100) GTEST_SKIP() << "cannot limit a child here";
    EXPECT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Commport, LineControlAndModemState) {
    int dtrSignals = 0;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    port.SetOnDTRSignal([&](TObject* sender) {
        EXPECT_EQ(sender, &port);
        ++dtrSignals;
    });
    port.SetDTR(true);  // closed: no status thread, no signal
    EXPECT_EQ(dtrSignals, 0);

    port.SetOpen(true);
    port.SetDTR(false);
    port.SetRTS(true);
    port.SetRTS(false);
    EXPECT_TRUE(port.Set_BREAK(true));
    EXPECT_TRUE(port.Set_BREAK(false));
    port.SendBreak(0);
    EXPECT_EQ(rig.fake->Escapes(),
              (std::vector<int>{CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK, SETBREAK, CLRBREAK}));
    EXPECT_EQ(dtrSignals, 1);

    const struct {
        int line;
        bool expected;
    } cases[] = {{0, false}, {1, true}, {2, true}, {3, false}, {4, false}, {5, false}, {-1, false}};
    for (const auto& c : cases) EXPECT_EQ(port.GetModemState(c.line), c.expected) << c.line;
    rig.fake->SetCts(false);
    EXPECT_FALSE(port.GetModemState(1));
    port.SetOpen(false);
    EXPECT_FALSE(port.GetModemState(2));
}

TEST(Commport, EventDispatchOrder) {
    std::vector<std::string> calls;
    FakePortRig rig;
    TCommPort& port = *rig.port;
    auto note = [&](const char* name) {
        return [&calls, &port, name](TObject* sender) {
            EXPECT_EQ(sender, &port);
            calls.push_back(name);
        };
    };
    port.SetOnRLSDSignal(note("rlsd"));
    port.SetOnBreakSignal(note("break"));
    port.SetOnCTSSignal(note("cts"));
    port.SetOnDSRSignal(note("dsr"));
    port.SetOnErrorSignal(
        [&](TObject*, std::int32_t errors) { calls.push_back("err" + std::to_string(errors)); });
    port.SetOnRingSignal(note("ring"));
    port.SetOnTxEmptySignal(note("txempty"));

    TObject other;
    port.HandleTC32Event(&other, 0x1FF);
    EXPECT_EQ(calls, (std::vector<std::string>{"rlsd", "break", "cts", "dsr", "err0", "ring", "txempty"}));
    calls.clear();
    port.HandleTC32Event(&other, EV_RXCHAR | EV_RXFLAG);
    EXPECT_TRUE(calls.empty());

    // At start the status thread raises the four line events once, whatever the lines are.
    port.SetOpen(true);
    ASSERT_TRUE(rig.Pump([&] { return calls.size() >= 4; }));
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4),
              (std::vector<std::string>{"rlsd", "cts", "dsr", "ring"}));
}

TEST(Commport, ErrorMsgResourceNumbers) {
    const struct {
        std::int16_t code;
        std::uint16_t number;
    } cases[] = {{0, 11000},  {-150, 11950}, {2005, 11205}, {1150, 11250},  {100, 11900},   {199, 11999},
                 {99, 11099}, {200, 11200},  {-1, 11001},   {32767, 14967}, {-32768, 14968}};
    for (const auto& c : cases) EXPECT_EQ(ErrorMsgResourceNumber(c.code), c.number) << c.code;
}

TEST(Commport, SearchComPortDepthFirst) {
    MainThreadCalls calls;
    TComponent root;
    EXPECT_EQ(SearchComPort(nullptr), nullptr);
    EXPECT_EQ(SearchComPort(&root), nullptr);

    TComponent panel(&root);
    TComponent inner(&panel);
    auto plain = std::make_unique<TCustomCommPort>(&root, std::make_unique<FakeSerialDevice>(), &calls);
    EXPECT_EQ(SearchComPort(&root), nullptr);  // only a TCommPort counts

    TCommPort deep(&inner, std::make_unique<FakeSerialDevice>(), &calls);
    TCommPort shallow(&root, std::make_unique<FakeSerialDevice>(), &calls);
    EXPECT_EQ(SearchComPort(&root), &deep);  // panel comes first and is searched before shallow
    EXPECT_EQ(SearchComPort(&inner), &deep);

    EXPECT_EQ(root.Components().size(), 3u);
    plain.reset();
    EXPECT_EQ(root.Components().size(), 2u);
}

TEST(ComPortNames, DevicePathsAndPortArguments) {
    ComPortNames names;
    EXPECT_EQ(names.DevicePath(1), "/dev/ttyS0");
    names.SetPath(2, "/dev/ttyUSB0");

    const struct {
        const char* argument;
        bool valid;
        int number;
        const char* path;
    } cases[] = {
        {"2", true, 2, "/dev/ttyUSB0"},
        {"COM3", true, 3, "/dev/ttyS2"},
        {"255", true, 255, "/dev/ttyS254"},
        {"./sim.tty", true, kPathPortNumber, "./sim.tty"},
        {"", false, 0, ""},
        {"0", false, 0, ""},
        {"256", false, 0, ""},
        {"1x", false, 0, ""},
        {"COM", false, 0, ""},
        {"ttyS0", false, 0, ""},
    };
    for (const auto& c : cases) {
        auto choice = ParsePortArgument(c.argument, names);
        ASSERT_EQ(choice.has_value(), c.valid) << c.argument;
        if (!choice) continue;
        EXPECT_EQ(choice->comNumber, c.number) << c.argument;
        EXPECT_EQ(choice->path, c.path) << c.argument;
    }
}

}  // namespace
}  // namespace zemrik::test
