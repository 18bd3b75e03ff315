#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "CliOptions.h"
#include "CliRun.h"
#include "Commands.h"
#include "support/RecordBuilders.h"

namespace zemrik::test {
namespace {

TEST(MakeSamplesTest, WritesTheSameReadableDemoFilesEveryTime) {
    TempFolder folder;
    const std::string first = folder.File("one/two");
    const std::string second = folder.File("again");
    for (const std::string& dir : {first, second}) {
        ProcessResult made = RunProcess({MakeSamplesPath(), dir});
        ASSERT_TRUE(made.Exited(0)) << Describe(made);
    }
    const std::string zmk = ReadWholeFile(first + "/demo.zmk");
    EXPECT_EQ(zmk, ReadWholeFile(second + "/demo.zmk"));
    EXPECT_EQ(ReadWholeFile(first + "/demo.cbl"), ReadWholeFile(second + "/demo.cbl"));

    // Every kind, some sections: the demo shows what the program can show.
    cli::Report report;
    struct : cli::InstrumentAccess {
        InstrumentCommands* Open(cli::Report&) override { return nullptr; }
        void Close() override {}
    } none;
    ASSERT_EQ(cli::RunCommand(*cli::ParseCommandLine({"show", first + "/demo.zmk", "--json"}).request, none,
                              report),
              0);
    const nlohmann::json doc = nlohmann::json::parse(report.out);
    std::set<std::string> kinds;
    bool sections = false;
    for (const nlohmann::json& r : doc["records"]) {
        kinds.insert(r["TypeLbl"].get<std::string>());
        sections = sections || !r["items"].empty();
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"Rs", "dR", "Cx", "Lx", "Ri", "Cx/Cl", "Ri, Cx"}));
    EXPECT_TRUE(sections);

    EXPECT_TRUE(RunProcess({MakeSamplesPath()}).Exited(2));
}

}  // namespace
}  // namespace zemrik::test
