// zemrik-cli's instrument commands through the real serial port against the real emulator.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "e2e/E2eSupport.h"

extern char** environ;

namespace zemrik::test {
namespace {

using namespace std::chrono_literals;

std::string FileBytes(const std::vector<MeasurementRecord>& records) {
    std::string bytes;
    for (const MeasurementRecord& r : records) bytes.append(r.begin(), r.end());
    return bytes;
}

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

TEST_F(CliInstrumentTest, ListShowsTheRootTableAsTextAndJson) {
    std::vector<MeasurementRecord> records = SampleRecords(3);
    // A name that ends early at a NUL is listed up to the NUL.
    records[2][rec::Name + 4] = 0;
    // A control character is shown as '?' on the terminal, and kept (escaped) in JSON.
    records[1][rec::Name + 1] = 0x1B;
    WriteZmk(zmk_, records);
    ASSERT_TRUE(sim_.Start({"--records", zmk_}));

    ProcessResult text = sim_.Cli({"list"});
    ASSERT_TRUE(text.Exited(0)) << Describe(text);
    EXPECT_EQ(text.out, "  0  Линия 0\n  1  Л?ния 1\n  2  Лини\n");
    EXPECT_EQ(text.err, "");

    ProcessResult json = sim_.Cli({"list", "--json"});
    ASSERT_TRUE(json.Exited(0)) << Describe(json);
    nlohmann::json doc = nlohmann::json::parse(json.out);
    ASSERT_EQ(doc["count"], 3);
    ASSERT_EQ(doc["entries"].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const nlohmann::json& entry = doc["entries"][static_cast<std::size_t>(i)];
        EXPECT_EQ(entry["index"], i);
        // The emulator puts the kind-and-sections byte and a zero after each name.
        EXPECT_EQ(entry["extra"],
                  nlohmann::json::array({records[static_cast<std::size_t>(i)][rec::KindSections], 0}));
    }
    EXPECT_EQ(doc["entries"][0]["name"], "Линия 0       ");
    EXPECT_EQ(doc["entries"][1]["name"], "Л\x1bния 1       ");
    EXPECT_EQ(doc["entries"][2]["name"], "Лини");
}

TEST_F(CliInstrumentTest, GetWritesEveryRecordOfAFullInstrumentWithAFreshHeader) {
    const std::vector<MeasurementRecord> records = SampleRecords(MeasurementList::Capacity);
    // The loaded file's reserved header bytes belong to that file, not to what the CLI saves.
    WriteZmk(zmk_, records, 0x5A);
    ASSERT_TRUE(sim_.Start({"--records", zmk_}));

    ProcessResult result = sim_.Cli({"get", "-o", out_});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    EXPECT_EQ(result.out, "Считано записей: 200 -> " + out_ + "\n");
    EXPECT_EQ(result.err, "") << "no progress when stderr is not a terminal";

    std::string expected(FileHeaderSize, '\0');
    expected[0] = static_cast<char>(MeasurementList::Capacity);
    expected += FileBytes(records);
    const std::string got = ReadWholeFile(out_);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "the file differs from the emulator's records";
    // Reading changes nothing in the instrument.
    EXPECT_EQ(FileBytes(sim_.StopAndReadRecords()), FileBytes(records));
}

// Runs zemrik-cli with its stderr on a fresh pseudo-terminal (stdout on /dev/null) and returns
// what that terminal received; the exit status goes to `status`.
std::string RunWithTerminalStderr(const std::vector<std::string>& args, int& status) {
    RawTerminal terminal;
    EXPECT_TRUE(terminal.OpenNew());
    const int master = terminal.Fd();
    const std::string slavePath = terminal.SlavePath();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, slavePath.c_str(), O_RDWR | O_NOCTTY, 0);
    std::vector<std::string> argv{CliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Read until the child has ended and the terminal holds nothing more.
    std::string seen;
    bool ended = pid < 0;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buffer[256];
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                seen.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
        }
        if (ended) break;
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    EXPECT_TRUE(ended) << "zemrik-cli did not end";
    return seen;
}

TEST_F(CliInstrumentTest, GetShowsProgressOnlyToAPerson) {
    WriteZmk(zmk_, SampleRecords(3));
    ASSERT_TRUE(sim_.Start({"--records", zmk_}));
    int status = -1;
    const std::string seen = RunWithTerminalStderr({"--port", sim_.Port(), "get", "-o", out_}, status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    // The terminal turns each "\n" into "\r\n".
    EXPECT_EQ(seen, "\rЧтение 0/3\rЧтение 1/3\rЧтение 2/3\rЧтение 3/3\r\n");
    EXPECT_TRUE(Exists(out_));
}

TEST_F(CliInstrumentTest, GetOfAnEmptyInstrumentWritesNothing) {
    ASSERT_TRUE(sim_.Start({}));
    ProcessResult result = sim_.Cli({"get", "-o", out_});
    EXPECT_TRUE(result.Exited(1)) << Describe(result);
    EXPECT_EQ(result.err, "В памяти прибора нет файлов!\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(Exists(out_));

    // An empty list is still a successful list.
    ProcessResult list = sim_.Cli({"list", "--json"});
    ASSERT_TRUE(list.Exited(0)) << Describe(list);
    EXPECT_EQ(nlohmann::json::parse(list.out), nlohmann::json::parse(R"({"count": 0, "entries": []})"));
}

TEST_F(CliInstrumentTest, PutWritesTheChosenRecordsInListOrderUnderTheirNames) {
    std::vector<MeasurementRecord> records = SampleRecords(4);
    // A NUL inside a name: only what comes before it is the name; the rest goes as spaces.
    records[0][rec::Name + 2] = 0;
    WriteZmk(zmk_, records);
    const std::vector<MeasurementRecord> first = SampleRecords(1);
    const std::string firstPath = folder_.File("first.zmk");
    WriteZmk(firstPath, first);
    ASSERT_TRUE(sim_.Start({"--records", firstPath}));

    ProcessResult result = sim_.Cli({"put", zmk_, "--records", "3,0,3"});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    EXPECT_EQ(result.out, "Записано записей: 2\n");

    MeasurementRecord zeroSent = records[0];
    const NameField padded = PadName(NameText(records[0].data()));
    std::copy(padded.begin(), padded.end(), zeroSent.begin());
    EXPECT_EQ(FileBytes(sim_.StopAndReadRecords()), FileBytes({first[0], zeroSent, records[3]}));
}

TEST_F(CliInstrumentTest, PutStopsAtTheFirstRefusalWithTheMainWindowsTexts) {
    const std::vector<MeasurementRecord> records = SampleRecords(3);
    WriteZmk(zmk_, records);
    struct Case {
        std::vector<std::string> simArgs;
        std::vector<std::string> putArgs;
        std::string err;          // empty: success
        std::vector<int> stored;  // the records the instrument holds afterwards
    };
    const std::vector<Case> cases = {
        {{"--refuse-writes", "1"}, {}, "Ошибка записи файла Линия 0        !\n", {}},
        {{"--refuse-writes", "2"}, {}, "Нет места для записи!\n", {}},
        // Any other answer counts as written, though this instrument stored nothing.
        {{"--refuse-writes", "3"}, {}, "", {}},
        // Room for two: the third write is refused, and nothing after it is tried.
        {{"--capacity", "2"}, {}, "Нет места для записи!\n", {0, 1}},
        // The byte after the result is never needed.
        {{"--no-further-byte"}, {"--records", "1"}, "", {1}},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        SimRig sim(folder);
        ASSERT_TRUE(sim.Start(c.simArgs));
        std::vector<std::string> args{"put", zmk_};
        args.insert(args.end(), c.putArgs.begin(), c.putArgs.end());
        ProcessResult result = sim.Cli(args);
        EXPECT_EQ(result.err, c.err) << c.simArgs[0];
        EXPECT_TRUE(result.Exited(c.err.empty() ? 0 : 1)) << Describe(result);
        if (c.err.empty()) {
            EXPECT_EQ(result.out, "Записано записей: " + std::to_string(c.putArgs.empty() ? 3 : 1) + "\n");
        }
        std::vector<MeasurementRecord> expected;
        for (int i : c.stored) expected.push_back(records[static_cast<std::size_t>(i)]);
        EXPECT_EQ(FileBytes(sim.StopAndReadRecords()), FileBytes(expected)) << c.simArgs[0];
    }
}

TEST_F(CliInstrumentTest, DeleteSendsTheNumbersAsGivenAndStopsAtAFailure) {
    const std::vector<MeasurementRecord> records = SampleRecords(5);
    WriteZmk(zmk_, records);
    ASSERT_TRUE(sim_.Start({"--records", zmk_}));

    // Lines 1 and 2 of the main window's list go as 1 and 1.
    ProcessResult result = sim_.Cli({"delete", "1", "1"});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    EXPECT_EQ(result.out, "Удалено записей: 2\n");

    // Record 7 does not exist; the 0 after it must not be deleted on the strength of it.
    ProcessResult refused = sim_.Cli({"delete", "2", "7", "0"});
    EXPECT_TRUE(refused.Exited(1)) << Describe(refused);
    EXPECT_NE(refused.err.find("record 7 was not deleted: the instrument answered 1"), std::string::npos)
        << refused.err;
    EXPECT_EQ(FileBytes(sim_.StopAndReadRecords()), FileBytes({records[0], records[3]}));

    TempFolder folder;
    SimRig silent(folder);
    ASSERT_TRUE(silent.Start({"--records", zmk_, "--no-handshake"}));
    ProcessResult unanswered = silent.Cli({"delete", "0"});
    EXPECT_TRUE(unanswered.Exited(1)) << Describe(unanswered);
    EXPECT_NE(unanswered.err.find("record 0 was not deleted: the instrument did not answer"),
              std::string::npos)
        << unanswered.err;
}

TEST_F(CliInstrumentTest, CablesGetAndPutCarryTheTableByteForByte) {
    const CableTable table = SampleCables(5, 0xC3);
    ASSERT_TRUE(SaveTableFile(cbl_, table));
    ASSERT_TRUE(sim_.Start({"--cables", cbl_}));

    ProcessResult got = sim_.Cli({"cables", "get", "-o", outCbl_});
    ASSERT_TRUE(got.Exited(0)) << Describe(got);
    EXPECT_EQ(got.out, "Считано кабелей: 5 -> " + outCbl_ + "\n");
    EXPECT_TRUE(ReadWholeFile(outCbl_) == CableBytes(table));

    const CableTable other = SampleCables(64, 0x11);
    const std::string otherPath = folder_.File("other.cbl");
    ASSERT_TRUE(SaveTableFile(otherPath, other));
    ProcessResult put = sim_.Cli({"cables", "put", otherPath});
    ASSERT_TRUE(put.Exited(0)) << Describe(put);
    EXPECT_EQ(put.out, "Записано кабелей: 64\n");
    EXPECT_TRUE(sim_.StopAndReadCables() == CableBytes(other));
}

TEST_F(CliInstrumentTest, CablesPutRefusalsAndUnreadableFiles) {
    ASSERT_TRUE(SaveTableFile(cbl_, SampleCables(2, 0)));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", "Ошибка записи!\n"}, {"2", "Нет места для таблицы!\n"}, {"9", ""}};
    for (const auto& [answer, err] : cases) {
        TempFolder folder;
        SimRig sim(folder);
        ASSERT_TRUE(sim.Start({"--refuse-writes", answer}));
        ProcessResult result = sim.Cli({"cables", "put", cbl_});
        EXPECT_EQ(result.err, err) << answer;
        EXPECT_TRUE(result.Exited(err.empty() ? 0 : 1)) << Describe(result);
    }

    ASSERT_TRUE(sim_.Start({}));
    ProcessResult missing = sim_.Cli({"cables", "put", folder_.File("none.cbl")});
    EXPECT_TRUE(missing.Exited(1)) << Describe(missing);
    EXPECT_EQ(missing.err, "Не могу открыть файл none.cbl !\n");
    ProcessResult missingZmk = sim_.Cli({"put", folder_.File("none.zmk")});
    EXPECT_TRUE(missingZmk.Exited(1)) << Describe(missingZmk);
    EXPECT_EQ(missingZmk.err, "Не могу открыть файл none.zmk !\n");
}

// Faults that show at once or within the 500 ms handshake: every read reports its own text and
// leaves no output file behind.
TEST_F(CliInstrumentTest, ReadFaultsReportTheWindowsTextsAndWriteNoFile) {
    WriteZmk(zmk_, SampleRecords(2));
    ASSERT_TRUE(SaveTableFile(cbl_, SampleCables(2, 0)));
    const std::string rootError = "Ошибка при чтении RootTable.\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> reads = {
        {{"get", "-o", out_}, rootError},
        {{"list"}, rootError},
        {{"cables", "get", "-o", outCbl_}, "Ошибка чтения таблицы кабелей!\n"},
    };
    struct Case {
        std::vector<std::string> fault;
        std::size_t reads;  // how many of `reads` to run (a silent instrument is slow to give up)
    };
    const std::vector<Case> cases = {{{"--no-handshake"}, 1},
                                     {{"--handshake-byte", "5A"}, 3},
                                     {{"--bad-checksum"}, 3},
                                     {{"--status", "3"}, 3}};
    for (const Case& c : cases) {
        TempFolder folder;
        SimRig sim(folder);
        std::vector<std::string> args{"--records", zmk_, "--cables", cbl_};
        args.insert(args.end(), c.fault.begin(), c.fault.end());
        ASSERT_TRUE(sim.Start(args));
        for (std::size_t k = 0; k < c.reads; ++k) {
            const auto& [command, err] = reads[k];
            ProcessResult result = sim.Cli(command);
            EXPECT_TRUE(result.Exited(1)) << c.fault[0] << " " << command[0] << "\n" << Describe(result);
            EXPECT_EQ(result.err, err) << c.fault[0] << " " << command[0];
            EXPECT_EQ(result.out, "");
        }
        EXPECT_FALSE(Exists(out_));
        EXPECT_FALSE(Exists(outCbl_));
    }
}

// The emulator sends only the start of each record and then dies in the middle of the reply:
// the Get names the record it was reading, fails without waiting out the per-byte time-outs of
// a line that is gone, and leaves no file.
TEST_F(CliInstrumentTest, EmulatorEndingInsideARecordFailsTheGet) {
    WriteZmk(zmk_, SampleRecords(3));
    // The root table reply of three records is 51 bytes; a record reply is 258.
    ASSERT_TRUE(sim_.Start({"--records", zmk_, "--stop-after", "60", "--trace"}));

    std::future<ProcessResult> get = std::async(std::launch::async, [&] {
        return sim_.Cli({"get", "-o", out_});
    });
    // Two handshakes answered: the CLI is inside its first record exchange, which cannot end.
    auto deadline = std::chrono::steady_clock::now() + 10s;
    auto answered = [&] {
        const std::string trace = ReadWholeFile(sim_.StderrPath());
        std::size_t count = 0;
        for (std::size_t at = trace.find("tx: A5"); at != std::string::npos;
             at = trace.find("tx: A5", at + 1))
            ++count;
        return count >= 2;
    };
    while (!answered() && std::chrono::steady_clock::now() < deadline) {
        get.wait_for(10ms);
    }
    ASSERT_TRUE(answered()) << ReadWholeFile(sim_.StderrPath());
    sim_.Process().Signal(SIGKILL);

    ProcessResult result = get.get();
    EXPECT_TRUE(result.Exited(1)) << Describe(result);
    EXPECT_EQ(result.err, "Ошибка чтения файла Линия 0       !\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(Exists(out_));
}

TEST_F(CliInstrumentTest, InterruptedGetClosesThePortBeforeItEnds) {
    WriteZmk(zmk_, SampleRecords(2));
    // Replies come only after 5 s, so the CLI is surely inside its first exchange when stopped.
    ASSERT_TRUE(sim_.Start({"--records", zmk_, "--delay", "5000", "--trace"}));
    std::vector<std::string> argv{CliPath(), "--port", sim_.Port(), "get", "-o", out_};
    std::vector<char*> cargv;
    for (std::string& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    auto deadline = std::chrono::steady_clock::now() + 10s;
    auto handshakeAnswered = [&] {
        return ReadWholeFile(sim_.StderrPath()).find("tx: A5") != std::string::npos;
    };
    while (!handshakeAnswered() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_TRUE(handshakeAnswered()) << ReadWholeFile(sim_.StderrPath());
    ::kill(pid, SIGINT);

    int status = 0;
    bool ended = false;
    deadline = std::chrono::steady_clock::now() + 10s;
    while (!(ended = ::waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_TRUE(ended) << "zemrik-cli did not end";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_FALSE(Exists(out_));
    // The port was closed on the way out: it no longer claims the terminal for itself, so the
    // next program (not only root) can open it.
    const int fd = ::open(sim_.Port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
}

TEST_F(CliInstrumentTest, APortThatDoesNotOpenIsReported) {
    WriteZmk(zmk_, SampleRecords(1));
    ASSERT_TRUE(SaveTableFile(cbl_, SampleCables(1, 0)));
    const std::string port = folder_.File("no-such-tty");
    const std::vector<std::vector<std::string>> commands = {
        {"list"},
        {"list", "--json"},
        {"get", "-o", out_},
        {"put", zmk_},
        {"delete", "0"},
        {"cables", "get", "-o", outCbl_},
        {"cables", "put", cbl_},
    };
    for (std::vector<std::string> args : commands) {
        args.insert(args.begin(), {"--port", port});
        ProcessResult result = RunCli(args);
        EXPECT_TRUE(result.Exited(1)) << args[2] << "\n" << Describe(result);
        EXPECT_EQ(result.err, "Ошибка открытия COM порта!\n") << args[2];
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(Exists(out_));
    EXPECT_FALSE(Exists(outCbl_));
}

// A wrong command line is a usage error before any port is touched (the port named here does
// not exist, so touching it would exit with 1).
TEST_F(CliInstrumentTest, UsageErrorsNeverOpenThePort) {
    WriteZmk(zmk_, SampleRecords(3));
    const std::string port = folder_.File("no-such-tty");
    const std::vector<std::vector<std::string>> cases = {
        {"list"},
        {"--port"},
        {"--port", "", "list"},
        {"--port", "0", "list"},
        {"--port", "tty", "list"},
        {"--port", port, "list", "extra"},
        {"--port", port, "show", zmk_},
        {"--port", port, "get"},
        {"--port", port, "get", "-o"},
        {"--port", port, "put"},
        {"--port", port, "put", zmk_, "--records", "3"},
        {"--port", port, "put", zmk_, "--records", "1,x"},
        {"--port", port, "put", zmk_, "--records", "1,"},
        {"--port", port, "put", zmk_, "--records", ""},
        {"--port", port, "delete"},
        {"--port", port, "delete", "256"},
        {"--port", port, "delete", "1", "-1"},
        {"--port", port, "cables", "get"},
        {"--port", port, "cables", "put"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const auto& a : args) shown += " [" + a + "]";
        ProcessResult result = RunCli(args);
        EXPECT_TRUE(result.Exited(2)) << shown << "\n" << Describe(result);
        EXPECT_NE(result.err.find("usage:"), std::string::npos) << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
    // The port may also follow the command.
    ProcessResult after = RunCli({"list", "--port", port});
    EXPECT_TRUE(after.Exited(1)) << Describe(after);
    EXPECT_EQ(after.err, "Ошибка открытия COM порта!\n");
}

}  // namespace
}  // namespace zemrik::test
