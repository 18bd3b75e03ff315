// zemrik-cli on the stable paths that `ports` prints: a /dev/serial/by-id style link to the
// emulator's terminal works end to end, a link left to a vanished terminal says so, and `ports`
// lists what the window's menu lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

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
