// show and cables show, run in-process on files written for the test.
#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "Commands.h"
#include "cables/CableTableFile.h"
#include "measurement/MeasurementFile.h"
#include "support/RecordBuilders.h"

namespace zemrik::cli {
namespace {

using json = nlohmann::ordered_json;  // key order is part of the output

class NoInstrument : public InstrumentAccess {
public:
    InstrumentCommands* Open(Report&) override { return nullptr; }
    void Close() override {}
};

class ShowCommandsTest : public ::testing::Test {
protected:
    int Run(const std::vector<std::string>& args) {
        ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_TRUE(parsed.request) << parsed.err;
        report_ = {};
        NoInstrument none;
        return parsed.request ? RunCommand(*parsed.request, none, report_) : -1;
    }
    std::string WriteZmk(const std::vector<MeasurementRecord>& records) {
        auto list = std::make_unique<MeasurementList>();
        for (const MeasurementRecord& r : records) list->slots[list->count++] = r;
        FileHeader header{};
        EXPECT_TRUE(WriteMeasurementFile(folder_.File("m.zmk"), *list, header));
        return folder_.File("m.zmk");
    }
    std::string WriteCbl(const std::vector<CableRecord>& records) {
        CableTable table;
        for (const CableRecord& r : records) table.records[table.count++] = r;
        EXPECT_TRUE(SaveTableFile(folder_.File("t.cbl"), table));
        return folder_.File("t.cbl");
    }

    test::TempFolder folder_;
    Report report_;
};

MeasurementRecord SectionRecord() {
    return test::RecordBuilder("РАЗРЫВ ПАРЫ")
        .Kind(KindCl)
        .Value(rec::K, 0.4567f)
        .Value(rec::LxCl, 2346.0f)
        .Temp(43)
        .Sections(1)
        .Section(0, "КСПП 1x4x0,9", 0, 24.5f, 28.5f, 12345.6f, 90);
}

TEST_F(ShowCommandsTest, TextLaysOutThePanelRowsAndEverySection) {
    ASSERT_EQ(Run({"show", WriteZmk({SectionRecord(), SectionRecord()}), "--decimal-separator", ","}), 0)
        << report_.err;
    const std::string record =
        "РАЗРЫВ ПАРЫ           Cl\n"
        "  Вид:     Cx/Cl\n  Rs:\n  ΔR:\n  Cx(AB):\n  Cx(BC):\n  Cx(AC):\n"
        "  Cx/Cl:   0,457\n  Ri(AB):\n  Ri(BC):\n  Ri(AC):\n"
        "  Lx:      2346 м\n"
        "  t:       23°С\n"
        "  Секции\n"
        "    C:     24,5 нФ/км      R: 28,5 Ом/км\n"
        "    d:     0,90 мм         Медь\n"
        "    Длина: 12345,6 м\n"
        "  [1] КСПП 1x4x0,9\n"
        "    C:     24,5 нФ/км      R: 28,5 Ом/км\n"
        "    d:     0,90 мм         Медь\n"
        "    Длина: 12346,0 м\n";
    EXPECT_EQ(report_.out, record + "\n" + record);
}

TEST_F(ShowCommandsTest, JsonGivesThePanelTextsAndEverySection) {
    ASSERT_EQ(Run({"show", WriteZmk({SectionRecord()}), "--json", "--decimal-separator", "<>"}), 0);
    const json doc = json::parse(report_.out);
    ASSERT_EQ(doc["count"], 1);
    const json& r = doc["records"][0];
    std::vector<std::string> keys;
    for (const auto& [key, value] : r.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"line",    "TypeLbl", "RsLbl",       "dRLbl",   "CxabLbl",
                                              "CxbcLbl", "CxacLbl", "KLbl",        "RiabLbl", "RibcLbl",
                                              "RiacLbl", "LxLbl",   "TLbl",        "items",   "CLbl",
                                              "RLbl",    "dLbl",    "MaterialLbl", "LLbl",    "sections"}));
    EXPECT_EQ(r["line"], "РАЗРЫВ ПАРЫ           Cl");
    EXPECT_EQ(r["KLbl"], "0<>457");
    EXPECT_EQ(r["RsLbl"], "");
    EXPECT_EQ(r["items"], json::array({"КСПП 1x4x0,9  "}));
    EXPECT_EQ(r["LLbl"], "12345<>6 м");
    EXPECT_EQ(r["sections"],
              json::parse(R"([{"CLbl": "24<>5 нФ/км", "RLbl": "28<>5 Ом/км", "dLbl": "0<>90 мм",
                                              "MaterialLbl": "Медь", "LLbl": "12346<>0 м"}])"));
}

// Names come from files: in text they must not steer the terminal, in JSON they stay exact.
TEST_F(ShowCommandsTest, ControlCharactersInNamesAreDefused) {
    MeasurementRecord r = test::RecordBuilder("").Kind(KindRs).Sections(1).Section(0, "A\tB", 0, 1, 1, 1, 1);
    const std::string name = "\x1b[2J\nX\x7f";
    std::copy(name.begin(), name.end(), r.begin());
    const std::string path = WriteZmk({r});
    ASSERT_EQ(Run({"show", path}), 0);
    EXPECT_TRUE(report_.out.starts_with("?[2J?X?" + std::string(7 + 8, ' ') + "Rs\n")) << report_.out;
    EXPECT_NE(report_.out.find("  [1] A?B\n"), std::string::npos) << report_.out;
    ASSERT_EQ(Run({"show", path, "--json"}), 0);
    const json doc = json::parse(report_.out);
    EXPECT_EQ(doc["records"][0]["line"], name + std::string(7 + 8, ' ') + "Rs");
    EXPECT_EQ(doc["records"][0]["items"][0], "A\tB" + std::string(11, ' '));

    ASSERT_EQ(Run({"cables", "show", WriteCbl({test::MakeCable("X\x1b[1mY", 0, 1, 1, 1)})}), 0);
    EXPECT_NE(report_.out.find("\nX?[1mY "), std::string::npos) << report_.out;
    EXPECT_EQ(report_.out.find('\x1b'), std::string::npos);
}

TEST_F(ShowCommandsTest, CableTableAsTextAndJson) {
    const std::string path = WriteCbl({test::MakeCable("ТПП 10x2", 0, 45.6f, 12.34f, 40, 0x5A),
                                       test::MakeCable("ТППа 20x2", 1, 46.0f, 455.0f, 53),
                                       test::MakeCable("", 7, 0.0f, 0.0f, 255, 0xAB)});
    ASSERT_EQ(Run({"cables", "show", path, "--decimal-separator", ","}), 0);
    // Numbers line up on the right, words on the left; a blank name stays a blank cell.
    EXPECT_EQ(report_.out,
              "Имя             R, Ом/км  C, нФ/км  d, мм  Материал\n"
              "ТПП 10x2            12,3      45,6   0,40  Медь\n"
              "ТППа 20x2          455,0      46,0   0,53  Алюминий\n"
              "                     0,0       0,0   2,55  Алюминий\n");
    ASSERT_EQ(Run({"cables", "show", path, "--json", "--decimal-separator", "."}), 0);
    EXPECT_EQ(json::parse(report_.out), json::parse(R"({"count": 3, "rows": [
        ["ТПП 10x2", "12.3", "45.6", "0.40", "Медь"], ["ТППа 20x2", "455.0", "46.0", "0.53", "Алюминий"],
        ["              ", "0.0", "0.0", "2.55", "Алюминий"]]})"));
}

TEST_F(ShowCommandsTest, EmptyFilesShowNothingAndUnreadableOnesAreRefused) {
    ASSERT_EQ(Run({"show", WriteZmk({}), "--json"}), 0);
    EXPECT_EQ(json::parse(report_.out), json::parse(R"({"count": 0, "records": []})"));
    ASSERT_EQ(Run({"show", WriteZmk({})}), 0);
    EXPECT_EQ(report_.out + report_.err, "");
    ASSERT_EQ(Run({"cables", "show", WriteCbl({})}), 0);
    EXPECT_EQ(report_.out, "Имя  R, Ом/км  C, нФ/км  d, мм  Материал\n");

    // The ways a file can be damaged are the readers' tests; here: the exit and the message.
    test::WriteWholeFile(folder_.File("65.cbl"), std::string(65 * 32, '\x01'));
    const std::vector<std::string> refused[] = {{"show", folder_.File("none.zmk")},
                                                {"show", folder_.Path(), "--json"},
                                                {"cables", "show", folder_.File("65.cbl")}};
    for (const auto& args : refused) {
        EXPECT_EQ(Run(args), 1) << args.back();
        const std::string name = std::filesystem::path(args[args[0] == "show" ? 1 : 2]).filename().string();
        EXPECT_EQ(report_.err, "Не могу открыть файл " + name + " !\n");
        EXPECT_EQ(report_.out, "");
    }
}

}  // namespace
}  // namespace zemrik::cli
