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

    TempFolder folder_;
};

std::vector<CableRecord> ThreeCables() {
    CableRecord blank = MakeCable("", 7, 0.0f, 0.0f, 255, 0xAB);
    return {MakeCable("ТПП 10x2", 0, 45.6f, 12.34f, 40, 0x5A), MakeCable("ТППа 20x2", 1, 46.0f, 455.0f, 53),
            blank};
}

TEST_F(CablesShowTest, JsonGivesTheFiveCellsOfEveryRow) {
    const std::vector<CableRecord> cables = ThreeCables();
    const std::string path = WriteTable(cables);
    for (const std::string sep : {".", ","}) {
        ProcessResult result = RunCli({"cables", "show", path, "--json", "--decimal-separator", sep});
        ASSERT_TRUE(result.Exited(0)) << Describe(result);
        EXPECT_EQ(result.err, "");
        json doc = json::parse(result.out);
        ASSERT_EQ(doc.at("count"), 3);
        ASSERT_EQ(doc.at("rows").size(), 3u);
        for (std::size_t i = 0; i < cables.size(); ++i) {
            const CableRecord& r = cables[i];
            std::vector<std::string> expected{CableNameText(r), CableRText(r, sep), CableCText(r, sep),
                                              CableDText(r, sep),
                                              std::string(MaterialText(r[cab::Material]))};
            EXPECT_EQ(doc["rows"][i].get<std::vector<std::string>>(), expected)
                << "row " << i << " sep " << sep;
        }
        auto withSep = [&](std::string text) {
            for (char& c : text)
                if (c == '.') c = sep[0];
            return text;
        };
        EXPECT_EQ(doc["rows"][0],
                  json::array({"ТПП 10x2", withSep("12.3"), withSep("45.6"), withSep("0.40"), "Медь"}));
        EXPECT_EQ(doc["rows"][1],
                  json::array({"ТППа 20x2", withSep("455.0"), withSep("46.0"), withSep("0.53"), "Алюминий"}));
        EXPECT_EQ(doc["rows"][2], json::array({std::string(14, ' '), withSep("0.0"), withSep("0.0"),
                                               withSep("2.55"), "Алюминий"}));
    }
}

TEST_F(CablesShowTest, TextHasTheHeadingsThenOneLinePerRow) {
    const std::string path = WriteTable(ThreeCables());
    ProcessResult result = RunCli({"cables", "show", path, "--decimal-separator", ","});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << result.out;
    std::size_t at = 0;
    for (const char* heading : {"Имя", "R, Ом/км", "C, нФ/км", "d, мм", "Материал"}) {
        std::size_t found = lines[0].find(heading, at);
        ASSERT_NE(found, std::string::npos) << heading;
        at = found;
    }
    at = 0;
    for (const char* cell : {"ТПП 10x2", "12,3", "45,6", "0,40", "Медь"}) {
        std::size_t found = lines[1].find(cell, at);
        ASSERT_NE(found, std::string::npos) << cell << " in " << lines[1];
        at = found;
    }
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

TEST_F(CablesShowTest, RecordCountFollowsTheFileSize) {
    struct Case {
        std::size_t bytes;
        int exit;
        int count;
    };
    const Case cases[] = {{0, 0, 0},      {31, 0, 0}, {100, 0, 3}, {64 * 32, 0, 64}, {64 * 32 + 31, 0, 64},
                          {65 * 32, 1, 0}};
    for (const Case& c : cases) {
        const std::string name = "size" + std::to_string(c.bytes) + ".cbl";
        WriteWholeFile(folder_.File(name), std::string(c.bytes, '\x01'));
        ProcessResult result = RunCli({"cables", "show", folder_.File(name), "--json"});
        ASSERT_TRUE(result.Exited(c.exit)) << name << "\n" << Describe(result);
        if (c.exit == 0) {
            json doc = json::parse(result.out);
            EXPECT_EQ(doc["count"], c.count) << name;
            EXPECT_EQ(doc["rows"].size(), static_cast<std::size_t>(c.count)) << name;
            if (c.count == 0) {
                EXPECT_EQ(doc, json::parse(R"({"count": 0, "rows": []})"));
            }
        } else {
            EXPECT_EQ(result.err, "Не могу открыть файл " + name + " !\n");
            EXPECT_EQ(result.out, "");
        }
    }
    ProcessResult missing = RunCli({"cables", "show", folder_.File("nothing.cbl")});
    EXPECT_TRUE(missing.Exited(1)) << Describe(missing);
    EXPECT_EQ(missing.err, "Не могу открыть файл nothing.cbl !\n");
}

}  // namespace
}  // namespace zemrik::test
