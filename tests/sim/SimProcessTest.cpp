#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/PtySim.h"
#include "support/RecordBuilders.h"

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
    EXPECT_EQ(Exchange({0x55, 0xAA}, 1), Bytes{0xA5});
    EXPECT_EQ(Exchange({0x30, 0x30}, 3), (Bytes{0x00, 0x00, 0x00}));

    // Reopened (here by the link), the terminal still leads to the instrument.
    terminal.Close();
    ASSERT_TRUE(terminal.Open(link));
    EXPECT_EQ(Exchange({0x55, 0xAA}, 1), Bytes{0xA5});

    EXPECT_TRUE(sim.Stop(SIGTERM).value_or(test::ChildExit{}).Clean());
    EXPECT_NE(::access(link.c_str(), F_OK), 0);  // the link goes with the emulator
}

}  // namespace
}  // namespace zemrik
