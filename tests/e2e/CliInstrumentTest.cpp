// zemrik-cli's instrument commands through the real serial port against the real emulator. What
// each command prints for each answer is tested in-process (tests/cli); here, that the bytes
// cross the line whole, and how the program behaves when the line or the user ends a command.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "e2e/E2eSupport.h"

namespace zemrik::test {
namespace {

using namespace std::chrono_literals;

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

class CliInstrumentTest : public ::testing::Test {
protected:
    TempFolder folder_;
    SimRig sim_{folder_};
    const std::string zmk_ = folder_.File("in.zmk");
    const std::string cbl_ = folder_.File("in.cbl");
    const std::string out_ = folder_.File("out.zmk");
    const std::string outCbl_ = folder_.File("out.cbl");
};

TEST_F(CliInstrumentTest, EveryCommandCarriesTheBytesWhole) {
    const std::vector<MeasurementRecord> records = SampleRecords(MeasurementList::Capacity);
    // The loaded file's reserved header bytes belong to that file, not to what the CLI saves.
    WriteZmk(zmk_, records, 0x5A);
    const CableTable cables = SampleCables(5, 0xC3);
    ASSERT_TRUE(SaveTableFile(cbl_, cables));
    ASSERT_TRUE(sim_.Start({"--records", zmk_, "--cables", cbl_}));

    ProcessResult get = sim_.Cli({"get", "-o", out_});
    ASSERT_TRUE(get.Exited(0)) << Describe(get);
    EXPECT_EQ(get.out, "Считано записей: 200 -> " + out_ + "\n");
    EXPECT_EQ(get.err, "") << "no progress when stderr is not a terminal";
    EXPECT_TRUE(ReadWholeFile(out_) == std::string(1, '\xC8') + std::string(31, '\0') + RecordBytes(records));

    ProcessResult list = sim_.Cli({"list"});
    ASSERT_TRUE(list.Exited(0)) << Describe(list);
    EXPECT_TRUE(list.out.starts_with("  0  Линия 0\n  1  Линия 1\n")) << list.out;

    ASSERT_TRUE(sim_.Cli({"delete", "1", "1"}).Exited(0));
    WriteZmk(zmk_, SampleRecords(4));
    ProcessResult put = sim_.Cli({"put", zmk_, "--records", "3,0"});
    ASSERT_TRUE(put.Exited(0)) << Describe(put);
    EXPECT_EQ(put.out, "Записано записей: 2\n");

    ProcessResult cablesGet = sim_.Cli({"cables", "get", "-o", outCbl_});
    ASSERT_TRUE(cablesGet.Exited(0)) << Describe(cablesGet);
    EXPECT_TRUE(ReadWholeFile(outCbl_) == CableBytes(cables));
    const CableTable full = SampleCables(64, 0x11);
    ASSERT_TRUE(SaveTableFile(cbl_, full));
    ProcessResult cablesPut = sim_.Cli({"cables", "put", cbl_});
    ASSERT_TRUE(cablesPut.Exited(0)) << Describe(cablesPut);

    std::vector<MeasurementRecord> expected = records;
    expected.erase(expected.begin() + 1, expected.begin() + 3);
    expected.push_back(SampleRecords(4)[0]);  // in file order, whatever the order asked
    expected.push_back(SampleRecords(4)[3]);
    EXPECT_TRUE(sim_.StopAndReadRecords() == RecordBytes(expected));
    EXPECT_TRUE(sim_.SavedCables() == CableBytes(full));
}

TEST_F(CliInstrumentTest, GetShowsProgressOnlyToAPerson) {
    WriteZmk(zmk_, SampleRecords(3));
    ASSERT_TRUE(sim_.Start({"--records", zmk_}));
    RawTerminal terminal;
    ASSERT_TRUE(terminal.OpenNew());
    ProcessOptions options;
    options.stderrPath = terminal.SlavePath();
    ProcessResult result = sim_.Cli({"get", "-o", out_}, options);
    EXPECT_TRUE(result.Exited(0)) << Describe(result);
    std::string seen;  // all there: the program has ended
    char buffer[256];
    for (ssize_t n = 0; (n = ::read(terminal.Fd(), buffer, sizeof buffer)) > 0;)
        seen.append(buffer, static_cast<std::size_t>(n));
    // The terminal turns each "\n" into "\r\n".
    EXPECT_EQ(seen, "\rЧтение 0/3\rЧтение 1/3\rЧтение 2/3\rЧтение 3/3\r\n");
    EXPECT_TRUE(Exists(out_));
}

// The emulator sends only the start of each record and then dies in the middle of the reply:
// the Get names the record it was reading, fails at once instead of waiting out the 10 s
// per-byte time-outs of a line that is gone, and leaves no file.
TEST_F(CliInstrumentTest, EmulatorEndingInsideARecordFailsTheGetAtOnce) {
    WriteZmk(zmk_, SampleRecords(3));
    SimTrace trace(folder_.File("trace"));
    // The root table reply of three records is 51 bytes; a record reply is 258.
    ASSERT_TRUE(sim_.Start({"--records", zmk_, "--stop-after", "60", "--trace"}, trace.Path()));

    std::future<ProcessResult> get = std::async(std::launch::async, [&] {
        return sim_.Cli({"get", "-o", out_});
    });
    // Two handshakes answered: the CLI is inside its first record exchange, which cannot end.
    ASSERT_TRUE(trace.WaitFor("tx: A5", 2, 10s)) << trace.Seen();
    const auto killed = std::chrono::steady_clock::now();
    sim_.Process().Signal(SIGKILL);

    ProcessResult result = get.get();
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 5s);
    EXPECT_TRUE(result.Exited(1)) << Describe(result);
    EXPECT_EQ(result.err, "Ошибка чтения файла Линия 0       !\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(Exists(out_));
}

// Ctrl-C in the middle of an exchange: no instrument fault is printed, the port is given back
// properly, and the program ends by the signal, writing no file.
TEST_F(CliInstrumentTest, InterruptedGetClosesThePortAndReportsNoFault) {
    WriteZmk(zmk_, SampleRecords(2));
    SimTrace trace(folder_.File("trace"));
    // Replies come only after 5 s, so the CLI is surely inside its first exchange when stopped.
    ASSERT_TRUE(sim_.Start({"--records", zmk_, "--delay", "5000", "--trace"}, trace.Path()));
    std::promise<pid_t> started;
    ProcessOptions options;
    options.onStart = [&](pid_t pid) { started.set_value(pid); };
    std::future<ProcessResult> get = std::async(std::launch::async, [&] {
        return sim_.Cli({"get", "-o", out_}, options);
    });
    const pid_t pid = started.get_future().get();
    ASSERT_TRUE(trace.WaitFor("tx: A5", 1, 10s)) << trace.Seen();
    ::kill(pid, SIGINT);

    ProcessResult result = get.get();
    EXPECT_EQ(result.signal, SIGINT) << Describe(result);
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(Exists(out_));
    // The port no longer claims the terminal for itself, so the next program (not only root)
    // can open it.
    const int fd = ::open(sim_.Port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
}

TEST_F(CliInstrumentTest, APortThatDoesNotOpenIsReportedWithTheReason) {
    const std::string port = folder_.File("no-such-tty");
    ProcessResult result = RunCli({"list", "--port", port});
    EXPECT_TRUE(result.Exited(1)) << Describe(result);
    EXPECT_EQ(result.err, "Ошибка открытия COM порта!\nУстройство " + port + " не найдено.\n");
    EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace zemrik::test
