#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cables/CableTable.h"
#include "cables/CableTableFile.h"
#include "support/RecordBuilders.h"

namespace zemrik::test {
namespace {

using nlohmann::json;

class CablesShowTest : public ::testing::Test {
protected:
    std::string WriteTable(const std::vector<CableRecord>& records, const std::string& name = "t.cbl") {
        CableTable table;
        for (const CableRecord& r : records) table.records[table.count++] = r;
        std::string path = folder_.File(name);
        EXPECT_TRUE(SaveTableFile(path, table));
        return path;
    }

    const std::vector<CableRecord> cables_ = {MakeCable("ТПП 10x2", 0, 45.6f, 12.34f, 40, 0x5A),
                                              MakeCable("ТППа 20x2", 1, 46.0f, 455.0f, 53),
                                              MakeCable("", 7, 0.0f, 0.0f, 255, 0xAB)};
    TempFolder folder_;
};

TEST_F(CablesShowTest, JsonGivesTheFiveCellsOfEveryRow) {
    const std::string path = WriteTable(cables_);
    for (const std::string sep : {".", ","}) {
        ProcessResult result = RunCli({"cables", "show", path, "--json", "--decimal-separator", sep});
        ASSERT_TRUE(result.Exited(0)) << Describe(result);
        EXPECT_EQ(result.err, "");
        json doc = json::parse(result.out);
        ASSERT_EQ(doc.at("count"), 3);
        ASSERT_EQ(doc.at("rows").size(), 3u);
        for (std::size_t i = 0; i < cables_.size(); ++i) {
            const CableRecord& r = cables_[i];
            const std::vector<std::string> expected{CableNameText(r), CableRText(r, sep), CableCText(r, sep),
                                                    CableDText(r, sep),
                                                    std::string(MaterialText(r[cab::Material]))};
            EXPECT_EQ(doc["rows"][i].get<std::vector<std::string>>(), expected)
                << "row " << i << " sep " << sep;
        }
        if (sep == ",") {
            EXPECT_EQ(doc["rows"][0], json::array({"ТПП 10x2", "12,3", "45,6", "0,40", "Медь"}));
        }
    }
    ProcessResult empty = RunCli({"cables", "show", WriteTable({}, "empty.cbl"), "--json"});
    ASSERT_TRUE(empty.Exited(0)) << Describe(empty);
    EXPECT_EQ(json::parse(empty.out), json::parse(R"({"count": 0, "rows": []})"));
}

TEST_F(CablesShowTest, TextHasTheHeadingsThenOneLinePerRow) {
    ProcessResult result = RunCli({"cables", "show", WriteTable(cables_), "--decimal-separator", ","});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << result.out;
    auto expectInOrder = [](const std::string& line, std::initializer_list<const char*> parts) {
        std::size_t at = 0;
        for (const char* part : parts) {
            at = line.find(part, at);
            ASSERT_NE(at, std::string::npos) << part << " in " << line;
        }
    };
    expectInOrder(lines[0], {"Имя", "R, Ом/км", "C, нФ/км", "d, мм", "Материал"});
    expectInOrder(lines[1], {"ТПП 10x2", "12,3", "45,6", "0,40", "Медь"});
    EXPECT_TRUE(lines[3].ends_with("2,55  Алюминий")) << lines[3];

    // A control character in a name is not sent to the terminal.
    ProcessResult hostile =
        RunCli({"cables", "show", WriteTable({MakeCable("X\x1b[1mY", 0, 1, 1, 1)}, "esc.cbl")});
    ASSERT_TRUE(hostile.Exited(0)) << Describe(hostile);
    EXPECT_NE(hostile.out.find("\nX?[1mY "), std::string::npos) << hostile.out;
    EXPECT_EQ(hostile.out.find('\x1b'), std::string::npos);

    // An empty table: only the headings.
    ProcessResult empty = RunCli({"cables", "show", WriteTable({}, "empty.cbl")});
    ASSERT_TRUE(empty.Exited(0)) << Describe(empty);
    EXPECT_EQ(std::count(empty.out.begin(), empty.out.end(), '\n'), 1) << empty.out;
    EXPECT_NE(empty.out.find("Материал"), std::string::npos);
}

TEST_F(CablesShowTest, RefusedFileExitsWithOneAndTheMessage) {
    WriteWholeFile(folder_.File("65.cbl"), std::string(65 * 32, '\x01'));
    for (const char* name : {"65.cbl", "nothing.cbl"}) {
        ProcessResult result = RunCli({"cables", "show", folder_.File(name), "--json"});
        EXPECT_TRUE(result.Exited(1)) << name << "\n" << Describe(result);
        EXPECT_EQ(result.err, "Не могу открыть файл " + std::string(name) + " !\n");
        EXPECT_EQ(result.out, "");
    }
}

}  // namespace
}  // namespace zemrik::test
