// zemrik-cli on the stable paths that `ports` prints: a /dev/serial/by-id style link to the
// emulator's terminal works end to end, a link left to a vanished terminal says so, and `ports`
// lists what the window's menu lists. The follower, on the real monitor, finds the emulator's
// link again when a new run makes it.
#include <poll.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "port/PortFollower.h"
#include "port/SerialPortList.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/RunProcess.h"

namespace zemrik::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(PortPathTest, ByIdLinkToTheEmulatorOpensAndALinkToAVanishedTerminalIsNotFound) {
    TempFolder folder;
    const fs::path byId = fs::path(folder.Path()) / "serial/by-id";
    fs::create_directories(byId);
    const std::string link = (byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
    std::string zmk = std::string(1, '\2') + std::string(31, '\0');
    for (const char* name : {"ЛИНИЯ 1", "ЛИНИЯ 2"}) {
        const MeasurementRecord record = RecordBuilder(name);
        zmk.append(record.begin(), record.end());
    }
    WriteWholeFile(folder.File("in.zmk"), zmk);

    SimProcess sim;
    ASSERT_TRUE(sim.Start(ZEMRIK_SIM_PATH, {"--records", folder.File("in.zmk"), "--link", link}, 10s,
                          folder.File("sim.txt")))
        << sim.Error();
    ASSERT_TRUE(fs::is_symlink(link));
    ProcessResult r = RunProcess({ZEMRIK_CLI_PATH, "--port", link, "list"});
    EXPECT_TRUE(r.Exited(0)) << r.exitCode << " " << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1)), "  0  ЛИНИЯ 1\n  1  ЛИНИЯ 2");
    const auto end = sim.Stop(SIGTERM);
    ASSERT_TRUE(end && end->Clean());

    // An emulator killed outright leaves its link behind.
    fs::create_symlink("/dev/pts/1048575", link);
    r = RunProcess({ZEMRIK_CLI_PATH, "--port", link, "list"});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_EQ(r.err, "Ошибка открытия COM порта!\nУстройство " + link + " не найдено.\n");
}

TEST(PortPathTest, FollowerReopensTheEmulatorsLinkWhenANewRunMakesItAgain) {
    TempFolder folder;
    const std::string link = folder.File("zemrik-tty");
    auto monitor = OpenPortMonitor({}, false);
    PortFollower follower(*monitor);
    SimProcess first;
    ASSERT_TRUE(first.Start(ZEMRIK_SIM_PATH, {"--link", link}, 10s, folder.File("sim1.txt")))
        << first.Error();
    EXPECT_EQ(follower.ChooseCom(0, link).path, link);
    follower.Opened(true);
    ASSERT_TRUE(first.Stop(SIGTERM));
    EXPECT_EQ(follower.PortGone().action, PortStep::Action::Close);

    SimProcess second;
    ASSERT_TRUE(second.Start(ZEMRIK_SIM_PATH, {"--link", link}, 10s, folder.File("sim2.txt")))
        << second.Error();
    PortStep step;
    for (int turns = 0; turns < 10 && step.action == PortStep::Action::None; ++turns) {
        pollfd ready{monitor->Fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 5000), 1);
        step = follower.MonitorReadable();
    }
    EXPECT_EQ(step.action, PortStep::Action::Open);
    EXPECT_EQ(step.path, link);
    EXPECT_FALSE(step.reportFailure);
}

TEST(PortPathTest, PortsListsTheMenuTextsOfThisMachine) {
    std::vector<std::string> menu;
    for (const SerialPortInfo& port : ListSerialPorts()) menu.push_back(port.MenuText());

    const ProcessResult r = RunProcess({ZEMRIK_CLI_PATH, "ports", "--json"});
    ASSERT_TRUE(r.Exited(0)) << r.err;
    EXPECT_EQ(r.err, UdevRunning() ? "" : std::string(NoUdevNotice) + "\n");
    const auto listing = nlohmann::json::parse(r.out);
    std::vector<std::string> texts;
    for (const auto& port : listing.at("ports")) texts.push_back(port.at("text").get<std::string>());
    EXPECT_EQ(texts, menu);
    EXPECT_EQ(listing.at("count").get<std::size_t>(), menu.size());

    const ProcessResult wrong = RunProcess({ZEMRIK_CLI_PATH, "--port", "2", "ports"});
    EXPECT_TRUE(wrong.Exited(2));
    EXPECT_NE(wrong.err.find("--port is not an option of this command"), std::string::npos) << wrong.err;
}

}  // namespace
}  // namespace zemrik::test
