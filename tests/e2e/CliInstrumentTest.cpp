// zemrik-cli's instrument commands through the real serial port against the real emulator: the
// bytes cross whole, and the line or the user can end a command.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "cables/CableTableFile.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/RunProcess.h"

namespace zemrik::test {
namespace {

using namespace std::chrono_literals;

// Noise everywhere the program does not interpret, Cyrillic names (866 on the line), sections.
std::vector<MeasurementRecord> SampleRecords(int count) {
    std::vector<MeasurementRecord> records;
    for (int i = 0; i < count; ++i) {
        RecordBuilder builder("Линия " + std::to_string(i));
        builder.Kind(i % KindCount).Sections(0).Filler(static_cast<std::uint32_t>(1000 + i));
        if (i % 3 == 1) builder.Sections(1).Section(0, "ТПП 10х2", 0, 45.5f, 28.5f, 120.0f, 40);
        records.push_back(builder);
    }
    return records;
}

std::string RecordBytes(const std::vector<MeasurementRecord>& records) {
    std::string bytes;
    for (const MeasurementRecord& r : records) bytes.append(r.begin(), r.end());
    return bytes;
}

// A cable table file; returns its bytes.
std::string WriteCables(const std::string& path, int count, std::uint8_t reservedFill) {
    CableTable table;
    for (; table.count < count; ++table.count)
        table.records[table.count] =
            MakeCable("ТПП " + std::to_string(table.count), table.count % 2, 45, 28.5f, 40, reservedFill);
    EXPECT_TRUE(SaveTableFile(path, table));
    return ReadWholeFile(path);
}

// The emulator's --trace through a FIFO: the test waits for a byte on the line, not polling.
struct SimTrace {
    explicit SimTrace(std::string p) : path(std::move(p)) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~SimTrace() { ::close(fd); }
    // Until `text` came `times` times; false after 10 s or when the emulator ended.
    bool WaitFor(const std::string& text, int times) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            int count = 0;
            for (auto at = seen.find(text); at != std::string::npos; at = seen.find(text, at + 1)) ++count;
            if (count >= times) return true;
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            char buffer[4096];
            ssize_t n = 0;
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0 ||
                (n = ::read(fd, buffer, sizeof buffer)) == 0)
                return false;
            if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
        }
    }
    std::string path, seen;
    int fd = -1;
};

class CliInstrumentTest : public ::testing::Test {
protected:
    // Starts zemrik-sim with `args`; it saves its memory when stopped with SIGTERM.
    bool StartSim(std::vector<std::string> args, const std::string& stderrPath = {}) {
        args.insert(args.end(), {"--save-records", savedZmk_, "--save-cables", savedCbl_});
        const bool ok =
            sim_.Start(ZEMRIK_SIM_PATH, args, 10s, stderrPath.empty() ? folder_.File("sim.txt") : stderrPath);
        EXPECT_TRUE(ok) << sim_.Error();
        return ok;
    }
    std::string StopAndReadRecords() {
        const std::optional<ChildExit> end = sim_.Stop(SIGTERM);
        const std::string bytes = end && end->Clean() ? ReadWholeFile(savedZmk_) : "";
        return bytes.size() >= 32 ? bytes.substr(32) : "(not saved)";
    }
    ProcessResult Cli(std::vector<std::string> args, ProcessOptions options = {}) {
        args.insert(args.begin(), {ZEMRIK_CLI_PATH, "--port", sim_.SlavePath()});
        options.env.emplace_back("LC_ALL", "C");  // a known decimal separator
        return RunProcess(args, options);
    }
    std::string CliOk(std::vector<std::string> args) {
        const ProcessResult r = Cli(std::move(args));
        EXPECT_TRUE(r.Exited(0) && r.err.empty()) << r.exitCode << " " << r.signal << "\n" << r.err;
        return r.out;
    }
    void WriteZmk(const std::string& path, const std::vector<MeasurementRecord>& records, char fill = 0) {
        WriteWholeFile(path,
                       static_cast<char>(records.size()) + std::string(31, fill) + RecordBytes(records));
    }

    TempFolder folder_;
    SimProcess sim_;
    const std::string savedZmk_ = folder_.File("sim-saved.zmk");
    const std::string savedCbl_ = folder_.File("sim-saved.cbl");
    const std::string zmk_ = folder_.File("in.zmk");
    const std::string cbl_ = folder_.File("in.cbl");
    const std::string out_ = folder_.File("out.zmk");
};

TEST_F(CliInstrumentTest, EveryCommandCarriesTheBytesWhole) {
    const std::vector<MeasurementRecord> records = SampleRecords(MeasurementList::Capacity);
    WriteZmk(zmk_, records, 0x5A);
    const std::string cables = WriteCables(cbl_, 5, 0xC3);
    ASSERT_TRUE(StartSim({"--records", zmk_, "--cables", cbl_}));

    EXPECT_TRUE(CliOk({"list"}).starts_with("  0  Линия 0\n  1  Линия 1\n"));
    EXPECT_EQ(CliOk({"get", "-o", out_}), "Считано записей: 200 -> " + out_ + "\n");
    EXPECT_TRUE(ReadWholeFile(out_) == std::string(1, '\xC8') + std::string(31, '\0') + RecordBytes(records));
    CliOk({"delete", "1", "1"});
    WriteZmk(zmk_, SampleRecords(4));
    EXPECT_EQ(CliOk({"put", zmk_, "--records", "3,0"}), "Записано записей: 2\n");
    CliOk({"cables", "get", "-o", folder_.File("out.cbl")});
    EXPECT_TRUE(ReadWholeFile(folder_.File("out.cbl")) == cables);
    const std::string full = WriteCables(cbl_, 64, 0x11);
    CliOk({"cables", "put", cbl_});

    std::vector<MeasurementRecord> expected = records;
    expected.erase(expected.begin() + 1, expected.begin() + 3);
    expected.push_back(SampleRecords(4)[0]);  // in file order, whatever the order asked
    expected.push_back(SampleRecords(4)[3]);
    EXPECT_TRUE(StopAndReadRecords() == RecordBytes(expected));
    EXPECT_TRUE(ReadWholeFile(savedCbl_) == full);
}

// The emulator dies inside a record reply: the Get fails at once (not after the per-byte
// time-outs), names the record and leaves no file.
TEST_F(CliInstrumentTest, EmulatorEndingInsideARecordFailsTheGetAtOnce) {
    WriteZmk(zmk_, SampleRecords(3));
    SimTrace trace(folder_.File("trace"));
    // The root table reply of three records is 51 bytes; a record reply is 258.
    ASSERT_TRUE(StartSim({"--records", zmk_, "--stop-after", "60", "--trace"}, trace.path));

    std::future<ProcessResult> get = std::async(std::launch::async, [&] { return Cli({"get", "-o", out_}); });
    // Two handshakes answered: the CLI is inside its first record exchange, which cannot end.
    ASSERT_TRUE(trace.WaitFor("tx: A5", 2)) << trace.seen;
    const auto killed = std::chrono::steady_clock::now();
    sim_.Signal(SIGKILL);

    ProcessResult result = get.get();
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 5s);
    EXPECT_TRUE(result.Exited(1)) << result.exitCode << " " << result.signal << "\n" << result.err;
    EXPECT_EQ(result.err, "Ошибка чтения файла Линия 0       !\n");
    EXPECT_FALSE(std::filesystem::exists(out_));
}

// Ctrl-C inside an exchange: no fault printed, no file, the port given back.
TEST_F(CliInstrumentTest, InterruptedGetClosesThePortAndReportsNoFault) {
    WriteZmk(zmk_, SampleRecords(2));
    SimTrace trace(folder_.File("trace"));
    // Replies come only after 5 s, so the CLI is surely inside its first exchange when stopped.
    ASSERT_TRUE(StartSim({"--records", zmk_, "--delay", "5000", "--trace"}, trace.path));
    std::promise<pid_t> started;
    ProcessOptions options{{}, [&](pid_t pid) { started.set_value(pid); }};
    std::future<ProcessResult> get = std::async(std::launch::async, [&] {
        return Cli({"get", "-o", out_}, options);
    });
    const pid_t pid = started.get_future().get();
    ASSERT_TRUE(trace.WaitFor("tx: A5", 1)) << trace.seen;
    ::kill(pid, SIGINT);

    ProcessResult result = get.get();
    EXPECT_EQ(result.signal, SIGINT) << result.exitCode << " " << result.signal << "\n" << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(std::filesystem::exists(out_));
    const int fd = ::open(sim_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
}

}  // namespace
}  // namespace zemrik::test
