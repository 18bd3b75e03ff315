#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "CliRun.h"
#include "support/RecordBuilders.h"

namespace zemrik::test {
namespace {

using nlohmann::json;

TEST(MakeSamplesTest, WritesTheSameReadableDemoFilesEveryTime) {
    TempFolder folder;
    const std::string first = folder.File("one/two");
    const std::string second = folder.File("again");
    for (const std::string& dir : {first, second}) {
        ProcessResult made = RunProcess({MakeSamplesPath(), dir});
        ASSERT_TRUE(made.Exited(0)) << Describe(made);
    }
    const std::string zmk = ReadWholeFile(first + "/demo.zmk");
    const std::string cbl = ReadWholeFile(first + "/demo.cbl");
    EXPECT_EQ(zmk, ReadWholeFile(second + "/demo.zmk"));
    EXPECT_EQ(cbl, ReadWholeFile(second + "/demo.cbl"));
    EXPECT_GE(cbl.size(), 3u * 32);

    ProcessResult shown = RunCli({"show", first + "/demo.zmk", "--json"});
    ASSERT_TRUE(shown.Exited(0)) << Describe(shown);
    json doc = json::parse(shown.out);
    std::set<std::string> kinds;
    bool sections = false;
    for (const json& r : doc["records"]) {
        kinds.insert(r["TypeLbl"].get<std::string>());
        sections = sections || !r["items"].empty();
        EXPECT_NE(r["TLbl"], "");
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"Rs", "dR", "Cx", "Lx", "Ri", "Cx/Cl", "Ri, Cx"}));
    EXPECT_TRUE(sections);

    ProcessResult cables = RunCli({"cables", "show", first + "/demo.cbl", "--json"});
    ASSERT_TRUE(cables.Exited(0)) << Describe(cables);
    EXPECT_EQ(json::parse(cables.out)["count"], cbl.size() / 32);

    ProcessResult usage = RunProcess({MakeSamplesPath()});
    EXPECT_TRUE(usage.Exited(2)) << Describe(usage);
}

}  // namespace
}  // namespace zemrik::test
