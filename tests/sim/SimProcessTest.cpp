#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "cables/CableTableFile.h"
#include "measurement/MeasurementFile.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/RunProcess.h"

// The real zemrik-sim binary on its pseudo-terminal.
namespace zemrik {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::RawTerminal;
using test::SimProcess;

MeasurementRecord Record(int i) {
    return test::RecordBuilder("Замер " + std::to_string(i))
        .Filler(i + 1)
        .Kind(KindCx)
        .Sections(1)
        .Section(0, "ТПП", 0, 45, 90, 100, 50)
        .Build();
}

class SimProcessTest : public ::testing::Test {
protected:
    std::string WriteRecords(int count) {
        auto list = std::make_unique<MeasurementList>();
        list->count = static_cast<std::uint8_t>(count);
        for (int i = 0; i < count; ++i) list->slots[i] = Record(i);
        FileHeader header{};
        header[5] = 0x5E;  // header bytes beyond the count travel through the emulator
        const std::string path = folder.File("in.zmk");
        EXPECT_TRUE(WriteMeasurementFile(path, *list, header));
        return path;
    }

    void Start(std::vector<std::string> args) {
        ASSERT_TRUE(sim.Start(ZEMRIK_SIM_PATH, args, 10s, folder.File("stderr.txt"))) << sim.Error();
        ASSERT_TRUE(terminal.Open(sim.SlavePath())) << sim.SlavePath();
    }

    Bytes Exchange(const Bytes& request, std::size_t replySize) {
        EXPECT_TRUE(terminal.Write(request));
        return terminal.Read(replySize, 5s);
    }

    test::TempFolder folder;
    SimProcess sim;
    RawTerminal terminal;
};

TEST_F(SimProcessTest, AnswersThroughItsLinkAndSurvivesTheClientClosing) {
    const std::string link = folder.File("instrument");
    Start({"--link", link});
    EXPECT_EQ(sim.SlavePath().rfind("/dev/pts/", 0), 0u) << sim.SlavePath();
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.SlavePath());
    EXPECT_EQ(Exchange({0x55, 0xAA}, 1), Bytes{0xA5});
    EXPECT_EQ(Exchange({0x30, 0x30}, 3), (Bytes{0x00, 0x00, 0x00}));

    // A program that closes the terminal and opens it again (here by the link) finds the
    // instrument still there.
    terminal.Close();
    ASSERT_TRUE(terminal.Open(link));
    EXPECT_EQ(Exchange({0x55, 0xAA}, 1), Bytes{0xA5});

    auto end = sim.Stop(SIGTERM);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->Clean()) << end->code << " " << end->signal;
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);  // the link goes with the emulator
}

// What the protocol makes of the emulator is the link and end-to-end tests' business; here, that
// it loads its memory, answers at a paced line rate, and saves what it then holds.
TEST_F(SimProcessTest, LoadsAndSavesItsMemory) {
    const std::string in = WriteRecords(3);
    CableTable cables;
    cables.count = 2;
    cables.records[0] = test::MakeCable("Медь", 0, 1, 2, 3, 0x42);
    cables.records[1] = test::MakeCable("Алюминий", 1, 4, 5, 6);
    ASSERT_TRUE(SaveTableFile(folder.File("in.cbl"), cables));
    const std::string outZmk = folder.File("out.zmk");
    const std::string outCbl = folder.File("out.cbl");
    Start({"--records", in, "--cables", folder.File("in.cbl"), "--save-records", outZmk, "--save-cables",
           outCbl, "--pace-baud", "28800"});
    EXPECT_EQ(Exchange({0x55, 0xAA}, 1), Bytes{0xA5});
    EXPECT_EQ(Exchange({0x33, 0x00, 0x33}, 2), (Bytes{0x00, 0x00}));
    auto end = sim.Stop(SIGINT);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->Clean());

    auto saved = std::make_unique<MeasurementList>();
    FileHeader header{};
    ASSERT_TRUE(ReadMeasurementFile(outZmk, *saved, header));
    ASSERT_EQ(saved->count, 2);
    EXPECT_EQ(saved->slots[0], Record(1));
    EXPECT_EQ(saved->slots[1], Record(2));
    EXPECT_EQ(header[5], 0x5E);
    CableTable savedCables;
    ASSERT_TRUE(LoadTableFile(outCbl, savedCables));
    EXPECT_EQ(savedCables.count, 2);
    EXPECT_EQ(savedCables.records, cables.records);
}

TEST_F(SimProcessTest, EndsWhenStdinClosesUnlessToldNotTo) {
    Start({"--trace"});
    sim.CloseStdin();
    auto end = sim.Wait(10s);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->Clean());

    SimProcess background;
    ASSERT_TRUE(background.Start(ZEMRIK_SIM_PATH, {"--no-stdin", "--trace"}, 10s, folder.File("bg.txt")))
        << background.Error();
    background.CloseStdin();
    RawTerminal t;
    ASSERT_TRUE(t.Open(background.SlavePath()));
    ASSERT_TRUE(t.Write({0x55, 0xAA}));
    EXPECT_EQ(t.Read(1, 5s), Bytes{0xA5});  // still there after its stdin closed
    auto bgEnd = background.Stop(SIGTERM);
    ASSERT_TRUE(bgEnd);
    EXPECT_TRUE(bgEnd->Clean());
    const std::string trace = test::ReadWholeFile(folder.File("bg.txt"));
    EXPECT_NE(trace.find("rx: 55 AA"), std::string::npos) << trace;
    EXPECT_NE(trace.find("tx: A5"), std::string::npos) << trace;
}

// The program: a start that fails says why and prints no terminal path to connect to.
TEST_F(SimProcessTest, AFailedStartExitsWithTwoAndAReason) {
    test::ProcessResult r = test::RunProcess({ZEMRIK_SIM_PATH, "--records", "/nonexistent/x.zmk"});
    EXPECT_TRUE(r.Exited(2)) << r.exitCode << " " << r.err;
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace zemrik
