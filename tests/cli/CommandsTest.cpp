// The commands in-process: the file commands on files written for the test, the instrument
// commands against an in-memory instrument (what each prints, writes, and where it stops). The
// serial line under them is the end-to-end tests' business.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "CliRun.h"
#include "Commands.h"
#include "cables/CableTableFile.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"

namespace zemrik::cli {
namespace {

using test::FakeInstrument;
using json = nlohmann::ordered_json;  // key order is part of the output

class FakeAccess : public InstrumentAccess {
public:
    FakeInstrument instrument;
    int opened = 0;
    InstrumentCommands* Open(Report&) override { return ++opened, &instrument; }
    void Close() override {}
};

std::vector<MeasurementRecord> Records(int count) {
    std::vector<MeasurementRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(test::RecordBuilder("Линия " + std::to_string(i)).Kind(i % 7).Filler(100 + i));
    return records;
}

std::string Bytes(const std::vector<MeasurementRecord>& records) {
    std::string bytes;
    for (const MeasurementRecord& r : records) bytes.append(r.begin(), r.end());
    return bytes;
}

class CommandsTest : public ::testing::Test {
protected:
    // Parses and runs `args`; the instrument commands get a port (the fake answers on any).
    int Run(std::vector<std::string> args) {
        if (args[0] != "show" && (args.size() < 2 || args[1] != "show"))
            args.insert(args.end(), {"--port", "2"});
        ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_TRUE(parsed.request) << parsed.err;
        report_ = {};
        return parsed.request ? RunCommand(*parsed.request, access_, report_) : -1;
    }
    std::string WriteZmk(const std::vector<MeasurementRecord>& records) {
        test::WriteWholeFile(zmk_,
                             static_cast<char>(records.size()) + std::string(31, '\0') + Bytes(records));
        return zmk_;
    }
    std::string WriteCbl(const std::vector<CableRecord>& records) {
        CableTable table;
        for (const CableRecord& r : records) table.records[table.count++] = r;
        EXPECT_TRUE(SaveTableFile(folder_.File("t.cbl"), table));
        return folder_.File("t.cbl");
    }

    test::TempFolder folder_;
    const std::string zmk_ = folder_.File("in.zmk");
    const std::string out_ = folder_.File("out.zmk");
    FakeAccess access_;
    FakeInstrument& device_ = access_.instrument;
    Report report_;
};

TEST_F(CommandsTest, ListShowsNumbersAndNamesAndJsonKeepsTheField) {
    device_.records = Records(3);
    device_.records[1][rec::Name + 1] = 0x1B;  // shown as '?', kept (escaped) in JSON
    device_.records[2][rec::Name + 4] = 0;     // the name ends at a NUL
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(report_.out, "  0  Линия 0\n  1  Л?ния 1\n  2  Лини\n");
    EXPECT_EQ(report_.err, "");

    ASSERT_EQ(Run({"list", "--json"}), 0);
    const json doc = json::parse(report_.out);
    EXPECT_EQ(doc["count"], 3);
    EXPECT_EQ(doc["entries"][0], json::parse(R"({"index": 0, "name": "Линия 0       ", "extra": [0, 0]})"));
    EXPECT_EQ(doc["entries"][1]["name"], "Л\x1bния 1       ");
    EXPECT_EQ(doc["entries"][2]["name"], "Лини");
}

// The Get itself is the document's; here: what is printed, and that a Get which fails at a record
// (the document keeps the records before it) writes no file; a name cannot steer the terminal.
TEST_F(CommandsTest, GetWritesEveryRecordWithAFreshHeaderOrNoFileAtAll) {
    device_.records = Records(3);
    ASSERT_EQ(Run({"get", "-o", out_}), 0) << report_.err;
    EXPECT_EQ(report_.out, "Считано записей: 3 -> " + out_ + "\n");
    EXPECT_TRUE(std::filesystem::exists(out_));  // its bytes: the end-to-end test
    std::filesystem::remove(out_);

    device_.readFailures[2] = 1;
    device_.records[2][rec::Name + 1] = 0x1B;
    EXPECT_EQ(Run({"get", "-o", out_}), 1);
    EXPECT_EQ(report_.err, "Ошибка чтения файла Л?ния 2       !\n");
    EXPECT_EQ(report_.out, "");
    EXPECT_FALSE(std::filesystem::exists(out_));
}

TEST_F(CommandsTest, PutWritesTheChosenRecordsInFileOrderUnderTheirNames) {
    std::vector<MeasurementRecord> records = Records(4);
    records[0][rec::Name + 2] = 0;  // only what comes before a NUL is the name
    WriteZmk(records);
    ASSERT_EQ(Run({"put", zmk_, "--records", "3,0,3"}), 0) << report_.err;
    EXPECT_EQ(report_.out, "Записано записей: 2\n");
    ASSERT_EQ(device_.records.size(), 2u);
    MeasurementRecord zeroSent = records[0];
    std::fill(zeroSent.begin() + 2, zeroSent.begin() + 14, ' ');
    EXPECT_EQ(device_.records[0], zeroSent);
    EXPECT_EQ(device_.records[1], records[3]);

    // An index beyond the file is a usage error before the instrument is touched.
    access_.opened = 0;
    EXPECT_EQ(Run({"put", zmk_, "--records", "4"}), 2);
    EXPECT_NE(report_.err.find("--records: the file holds records 0 to 3"), std::string::npos);
    EXPECT_EQ(Run({"put", WriteZmk({}), "--records", "0"}), 2);
    EXPECT_NE(report_.err.find("--records: the file holds no records"), std::string::npos);
    EXPECT_EQ(Run({"put", folder_.File("none.zmk")}), 1);
    EXPECT_EQ(report_.err, "Не могу открыть файл none.zmk !\n");
    EXPECT_EQ(access_.opened, 0);

    // A refusal (its texts and where it stops are the document's) ends with 1 and no summary.
    device_.writeResults = {1};
    EXPECT_EQ(Run({"put", WriteZmk(records), "--records", "1"}), 1);
    EXPECT_EQ(report_.err, "Ошибка записи файла Линия 1        !\n");
    EXPECT_EQ(report_.out, "");
}

TEST_F(CommandsTest, DeleteSendsTheNumbersAsGivenAndStopsAtAFailure) {
    device_.records = Records(5);
    ASSERT_EQ(Run({"delete", "1", "1"}), 0);
    EXPECT_EQ(report_.out, "Удалено записей: 2\n");
    EXPECT_EQ(Bytes(device_.records), Bytes({Records(5)[0], Records(5)[3], Records(5)[4]}));

    // Record 7 does not exist; the 0 after it must not be deleted on the strength of it.
    EXPECT_EQ(Run({"delete", "2", "7", "0"}), 1);
    EXPECT_EQ(report_.err, "Ошибка удаления файла 7 !\nzemrik-cli: deleted 1 of 3\n");
    EXPECT_EQ(report_.out, "");
}

// The table's bytes crossing the line are the end-to-end test's; here, the refusals' texts.
TEST_F(CommandsTest, CableTableRefusalsHaveTheCableWindowsTexts) {
    const std::string cbl = WriteCbl({test::MakeCable("ТПП 10х2", 0, 45, 28.5f, 40)});
    const std::pair<std::uint8_t, std::string> refusals[] = {
        {1, "Ошибка записи!\n"}, {2, "Нет места для таблицы!\n"}, {9, ""}};
    for (const auto& [result, err] : refusals) {
        device_.cableWriteResult = result;
        EXPECT_EQ(Run({"cables", "put", cbl}), err.empty() ? 0 : 1);
        EXPECT_EQ(report_.err, err);
        EXPECT_EQ(report_.out, err.empty() ? "Записано кабелей: 1\n" : "");
    }
    device_.cableReadResult = 1;
    EXPECT_EQ(Run({"cables", "get", "-o", folder_.File("out.cbl")}), 1);
    EXPECT_EQ(report_.err, "Ошибка чтения таблицы кабелей!\n");
    EXPECT_FALSE(std::filesystem::exists(folder_.File("out.cbl")));
}

MeasurementRecord SectionRecord() {
    return test::RecordBuilder("РАЗРЫВ ПАРЫ")
        .Kind(KindCl)
        .Value(rec::K, 0.4567f)
        .Value(rec::LxCl, 2346.0f)
        .Temp(43)
        .Sections(1)
        .Section(0, "КСПП 1x4x0,9", 0, 24.5f, 28.5f, 12345.6f, 90);
}

TEST_F(CommandsTest, ShowLaysOutThePanelRowsAndEverySectionAsTextAndJson) {
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

    // JSON: the panel's texts under their names, in a fixed order, with the separator asked for.
    ASSERT_EQ(Run({"show", WriteZmk({SectionRecord()}), "--json", "--decimal-separator", "<>"}), 0);
    const json doc = json::parse(report_.out);
    const json& r = doc.at("records").at(0);
    std::string keys;  // in the order printed
    for (const auto& [key, value] : r.items()) keys += key + " ";
    EXPECT_EQ(
        keys,
        "line TypeLbl RsLbl dRLbl CxabLbl CxbcLbl CxacLbl KLbl RiabLbl RibcLbl RiacLbl LxLbl TLbl items "
        "CLbl RLbl dLbl MaterialLbl LLbl sections ");
    EXPECT_EQ(r["KLbl"], "0<>457");
    EXPECT_EQ(r["sections"],
              json::parse(R"([{"CLbl": "24<>5 нФ/км", "RLbl": "28<>5 Ом/км", "dLbl": "0<>90 мм",
                                              "MaterialLbl": "Медь", "LLbl": "12346<>0 м"}])"));
}

// Names come from files: in text they must not steer the terminal, in JSON they stay exact.
TEST_F(CommandsTest, ControlCharactersInNamesAreDefused) {
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

TEST_F(CommandsTest, CableTableAsTextAndJson) {
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

TEST_F(CommandsTest, EmptyFilesShowNothingAndUnreadableOnesAreRefused) {
    ASSERT_EQ(Run({"show", WriteZmk({}), "--json"}), 0);
    EXPECT_EQ(json::parse(report_.out), json::parse(R"({"count": 0, "records": []})"));
    ASSERT_EQ(Run({"show", WriteZmk({})}), 0);
    EXPECT_EQ(report_.out + report_.err, "");
    ASSERT_EQ(Run({"cables", "show", WriteCbl({})}), 0);
    EXPECT_EQ(report_.out, "Имя  R, Ом/км  C, нФ/км  d, мм  Материал\n");

    // The ways a file can be damaged are the readers' tests; here: the exit and the message.
    EXPECT_EQ(Run({"show", folder_.File("none.zmk")}), 1);
    EXPECT_EQ(report_.err + report_.out, "Не могу открыть файл none.zmk !\n");
    test::WriteWholeFile(folder_.File("65.cbl"), std::string(65 * 32, '\x01'));
    EXPECT_EQ(Run({"cables", "show", folder_.File("65.cbl")}), 1);
    EXPECT_EQ(report_.err + report_.out, "Не могу открыть файл 65.cbl !\n");
}

// The demo files hold every kind and some sections, so the demo shows what the program can show.
TEST_F(CommandsTest, MakeSamplesWritesReadableDemoFiles) {
    const std::string dir = folder_.File("one/two");
    ASSERT_TRUE(test::RunProcess({test::MakeSamplesPath(), dir}).Exited(0));
    ASSERT_EQ(Run({"show", dir + "/demo.zmk", "--json"}), 0);
    std::set<std::string> kinds;
    bool sections = false;
    const json doc = json::parse(report_.out);
    for (const json& r : doc["records"]) {
        kinds.insert(r["TypeLbl"].get<std::string>());
        sections = sections || !r["items"].empty();
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"Rs", "dR", "Cx", "Lx", "Ri", "Cx/Cl", "Ri, Cx"}));
    EXPECT_TRUE(sections);
    ASSERT_EQ(Run({"cables", "show", dir + "/demo.cbl"}), 0);
    EXPECT_TRUE(test::RunProcess({test::MakeSamplesPath()}).Exited(2));
}

}  // namespace
}  // namespace zemrik::cli
