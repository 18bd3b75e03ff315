#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim/SimOptions.h"
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

class SimProcessTest : public ::testing::Test {
protected:
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

TEST(SimOptionsTest, TheLastOfARepeatedFlagWins) {
    const SimParse parsed = ParseSimOptions({"--capacity", "5", "--delay", "1", "--capacity", "7"});
    ASSERT_TRUE(parsed.options) << parsed.err;
    EXPECT_EQ(parsed.options->capacity, 7);
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
