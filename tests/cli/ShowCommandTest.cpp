#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "common/CodePage.h"
#include "measurement/MeasurementDisplay.h"
#include "measurement/MeasurementFile.h"
#include "support/RecordBuilders.h"

namespace zemrik::test {
namespace {

using nlohmann::json;

const char* const TopLabels[] = {"TypeLbl", "RsLbl",   "dRLbl",   "CxabLbl", "CxbcLbl", "CxacLbl",
                                 "KLbl",    "RiabLbl", "RibcLbl", "RiacLbl", "LxLbl",   "TLbl"};

std::vector<MeasurementRecord> KindRecords() {
    return {
        RecordBuilder("КАБЕЛЬ 1")
            .Kind(KindRs)
            .Value(rec::Rs, 10000.0f)
            .Temp(43)
            .Sections(1)
            .Section(0, "ТПП 10x2", 0, 45.6f, 278.0f, 12345.6f, 40),
        RecordBuilder("КАБЕЛЬ 2").Kind(KindDR).Value(rec::dR, -12.34f).Temp(5),
        RecordBuilder("ЕМКОСТЬ").Kind(KindCx).Value(rec::Cxab, -3500.0f).Value(rec::Cxbc, 12.0f).Temp(20),
        RecordBuilder("ОБРЫВ")
            .Kind(KindLx)
            .Value(rec::Rs, 12.5f)
            .Value(rec::Lx, 1234.5f)
            .Sections(2)
            .Section(0, "ТПП 20x2", 0, 45.0f, 174.0f, 1000.0f, 50)
            .Section(1, "ТГ 50x2", 0, 50.0f, 95.0f, 234.5f, 70),
        RecordBuilder("ИЗОЛЯЦИЯ").Kind(KindRi).Value(rec::Riab, 1500.0f),
        RecordBuilder("ОТНОШЕНИЕ").Kind(KindCl).Value(rec::K, 0.4567f).Value(rec::LxCl, 23456.0f),
        RecordBuilder("ТРИ ПАРЫ")
            .Kind(KindCR)
            .Value(rec::Cxab, 45.2f)
            .Value(rec::Cxbc, 44.8f)
            .Value(rec::Cxac, 46.1f)
            .Value(rec::Riab, 25000000.0f)
            .Value(rec::Ribc, 15000000.0f)
            .Value(rec::Riac, 999.0f)
            .Sections(3)
            .Section(0, "А", 0, 1.0f, 2.0f, 3.0f, 4)
            .Section(1, "Б", 1, 5.0f, 6.0f, 7.0f, 8)
            .Section(2, "В", 7, 9.0f, 10.0f, 11.0f, 12),
        // Damaged: an unknown kind and a section count that would run past the record.
        RecordBuilder("ПОВРЕЖДЕН").Kind(9).Sections(7).Filler(77),
        RecordBuilder("ДЛИННОЕИМЯ1234").Kind(KindRs).Value(rec::Rs, -5.0f),
    };
}

class ShowCommandTest : public ::testing::Test {
protected:
    std::string WriteRecords(const std::vector<MeasurementRecord>& records,
                             const std::string& name = "m.zmk") {
        auto list = std::make_unique<MeasurementList>();
        for (const MeasurementRecord& r : records) list->slots[list->count++] = r;
        FileHeader header{};
        std::string path = folder_.File(name);
        EXPECT_TRUE(WriteMeasurementFile(path, *list, header));
        return path;
    }

    TempFolder folder_;
};

void ExpectSection(const json& actual, const SectionTexts& expected, const std::string& where) {
    EXPECT_EQ(actual.at("CLbl"), expected.CLbl) << where;
    EXPECT_EQ(actual.at("RLbl"), expected.RLbl) << where;
    EXPECT_EQ(actual.at("dLbl"), expected.dLbl) << where;
    EXPECT_EQ(actual.at("MaterialLbl"), expected.MaterialLbl) << where;
    EXPECT_EQ(actual.at("LLbl"), expected.LLbl) << where;
}

// Every text the command prints is what the panel functions give for the same record.
void ExpectMatchesPanel(const json& actual, const MeasurementRecord& r, const std::string& sep, int index) {
    const std::string where = "record " + std::to_string(index);
    MeasurementTexts t = ShowMeasurement(r, sep);
    EXPECT_EQ(actual.at("line"), AnsiToUtf8(ListLine(r))) << where;
    const std::string* values[] = {&t.TypeLbl, &t.RsLbl,   &t.dRLbl,   &t.CxabLbl, &t.CxbcLbl, &t.CxacLbl,
                                   &t.KLbl,    &t.RiabLbl, &t.RibcLbl, &t.RiacLbl, &t.LxLbl,   &t.TLbl};
    for (std::size_t i = 0; i < std::size(TopLabels); ++i)
        EXPECT_EQ(actual.at(TopLabels[i]), *values[i]) << where;
    EXPECT_EQ(actual.at("items").get<std::vector<std::string>>(), t.items) << where;
    ExpectSection(actual, t.section, where);
    ASSERT_EQ(actual.at("sections").size(), t.items.size()) << where;
    for (std::size_t s = 0; s < t.items.size(); ++s)
        ExpectSection(actual["sections"][s], SectionItemTexts(r, static_cast<int>(s), sep),
                      where + " section " + std::to_string(s));
}

TEST_F(ShowCommandTest, JsonGivesThePanelTextsOfEveryKind) {
    const std::vector<MeasurementRecord> records = KindRecords();
    const std::string path = WriteRecords(records);
    ProcessResult result = RunCli({"show", path, "--json", "--decimal-separator", "."});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    EXPECT_EQ(result.err, "");
    json doc = json::parse(result.out);
    ASSERT_EQ(doc.at("count"), records.size());
    ASSERT_EQ(doc.at("records").size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        ExpectMatchesPanel(doc["records"][i], records[i], ".", static_cast<int>(i));

    const json& rs = doc["records"][0];
    EXPECT_EQ(rs["line"], "КАБЕЛЬ 1      " + std::string(8, ' ') + "Rs");
    EXPECT_EQ(rs["TypeLbl"], "Rs");
    EXPECT_EQ(rs["RsLbl"], "> 10000 Ом");
    EXPECT_EQ(rs["dRLbl"], "");
    EXPECT_EQ(rs["TLbl"], "23°С");
    EXPECT_EQ(rs["items"], json::array({"ТПП 10x2      "}));
    EXPECT_EQ(rs["CLbl"], "45.6 нФ/км");
    EXPECT_EQ(rs["RLbl"], "278.0 Ом/км");
    EXPECT_EQ(rs["dLbl"], "0.40 мм");
    EXPECT_EQ(rs["MaterialLbl"], "Медь");
    EXPECT_EQ(rs["LLbl"], "12345.6 м");
    EXPECT_EQ(rs["sections"][0]["LLbl"], "12346.0 м");

    EXPECT_EQ(doc["records"][1]["dRLbl"], "-12.3 Ом");
    EXPECT_EQ(doc["records"][1]["TLbl"], "-15°С");
    EXPECT_EQ(doc["records"][2]["CxabLbl"], "> 3000 нФ");
    EXPECT_EQ(doc["records"][2]["CxbcLbl"], "");
    EXPECT_EQ(doc["records"][3]["RsLbl"], "12.5 Ом");
    EXPECT_EQ(doc["records"][3]["LxLbl"], "1234.5 м");
    EXPECT_EQ(doc["records"][3]["items"], json::array({"ТПП 20x2      ", "ТГ 50x2       "}));
    EXPECT_EQ(doc["records"][3]["sections"][1]["LLbl"], "234.5 м");
    EXPECT_EQ(doc["records"][4]["RiabLbl"], "");
    EXPECT_EQ(doc["records"][4]["RibcLbl"], "1.5 MОм");
    EXPECT_EQ(doc["records"][5]["TypeLbl"], "Cx/Cl");
    EXPECT_EQ(doc["records"][5]["KLbl"], "0.457");
    EXPECT_EQ(doc["records"][5]["LxLbl"], "23.46 км");
    const json& cr = doc["records"][6];
    EXPECT_EQ(cr["TypeLbl"], "Ri, Cx");
    EXPECT_EQ(cr["RiabLbl"], "> 20 ГОм");
    EXPECT_EQ(cr["RibcLbl"], "15.0 ГОм");
    EXPECT_EQ(cr["RiacLbl"], "999.0 кОм");
    EXPECT_EQ(cr["sections"][1]["MaterialLbl"], "Алюминий");
    EXPECT_EQ(cr["sections"][2]["MaterialLbl"], "Алюминий");
    EXPECT_EQ(cr["sections"][2]["dLbl"], "0.12 мм");

    const json& damaged = doc["records"][7];
    EXPECT_EQ(damaged["line"], "ПОВРЕЖДЕН     " + std::string(8, ' '));
    for (const char* label : TopLabels)
        if (std::string(label) != "TLbl") {
            EXPECT_EQ(damaged[label], "") << label;
        }
    EXPECT_EQ(damaged["items"].size(), 5u);
    EXPECT_EQ(damaged["sections"].size(), 5u);

    EXPECT_EQ(doc["records"][8]["line"], "ДЛИННОЕИМЯ1234" + std::string(8, ' ') + "Rs");
    EXPECT_EQ(doc["records"][8]["RsLbl"], "-5.0 Ом");
}

TEST_F(ShowCommandTest, DecimalSeparatorComesFromTheOptionElseTheLocale) {
    const std::string path = WriteRecords(KindRecords());
    struct Case {
        std::vector<std::string> extra;
        std::string k, length, ratioDistance;
    };
    const Case cases[] = {
        {{}, "0.457", "12345.6 м", "23.46 км"},  // LC_ALL=C gives a point
        {{"--decimal-separator", ","}, "0,457", "12345,6 м", "23,46 км"},
        {{"--decimal-separator=,"}, "0,457", "12345,6 м", "23,46 км"},
        {{"--decimal-separator", "<>"}, "0<>457", "12345<>6 м", "23<>46 км"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"show", path, "--json"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ProcessResult result = RunCli(args);
        ASSERT_TRUE(result.Exited(0)) << Describe(result);
        json doc = json::parse(result.out);
        EXPECT_EQ(doc["records"][5]["KLbl"], c.k);
        EXPECT_EQ(doc["records"][5]["LxLbl"], c.ratioDistance);
        EXPECT_EQ(doc["records"][0]["LLbl"], c.length);
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(ShowCommandTest, TextShowsEveryCaptionAndValueOfEveryRecord) {
    const std::vector<MeasurementRecord> records = KindRecords();
    const std::string path = WriteRecords(records);
    ProcessResult result = RunCli({"show", path, "--decimal-separator", ","});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    const std::vector<std::string> lines = Lines(result.out);
    auto countOf = [&](const std::string& wanted) { return std::count(lines.begin(), lines.end(), wanted); };
    auto countStarting = [&](const std::string& prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.starts_with(prefix); });
    };

    for (const char* caption : {"Вид:", "Rs:", "ΔR:", "Cx(AB):", "Cx(BC):", "Cx(AC):", "Cx/Cl:", "Ri(AB):",
                                "Ri(BC):", "Ri(AC):", "Lx:", "t:"})
        EXPECT_EQ(countStarting("  " + std::string(caption)), static_cast<long>(records.size())) << caption;
    EXPECT_EQ(countOf("  Секции"), static_cast<long>(records.size()));
    for (const MeasurementRecord& r : records)
        EXPECT_EQ(countOf(AnsiToUtf8(ListLine(r))), 1) << AnsiToUtf8(ListLine(r));

    EXPECT_EQ(countOf("  Rs:      > 10000 Ом"), 1);
    EXPECT_EQ(countOf("  ΔR:      -12,3 Ом"), 1);
    EXPECT_EQ(countOf("  Вид:     Ri, Cx"), 1);
    EXPECT_EQ(countOf("  t:       23°С"), 1);
    EXPECT_EQ(countOf("  [1] ТПП 10x2"), 1);
    EXPECT_EQ(countOf("    C:     45,6 нФ/км      R: 278,0 Ом/км"), 2);
    EXPECT_EQ(countOf("    d:     0,40 мм         Медь"), 2);
    // Shown with the record, then as picked in the drop-down.
    EXPECT_EQ(countOf("    Длина: 12345,6 м"), 1);
    EXPECT_EQ(countOf("    Длина: 12346,0 м"), 1);
    EXPECT_EQ(countStarting("  [5] "), 1);  // the damaged record's sections stop at five
    EXPECT_EQ(countStarting("  [6] "), 0);
    // Only a list line keeps its trailing blanks (a kind without a list text leaves them last).
    std::set<std::string> listLines;
    for (const MeasurementRecord& r : records) listLines.insert(AnsiToUtf8(ListLine(r)));
    for (const std::string& line : lines)
        EXPECT_TRUE(!line.ends_with(" ") || listLines.count(line) == 1) << '"' << line << '"';
}

// Names come from files: in text they must not steer the terminal, in JSON they stay exact.
TEST_F(ShowCommandTest, ControlCharactersInNamesAreDefused) {
    MeasurementRecord r =
        RecordBuilder("").Kind(KindRs).Sections(1).Section(0, "A\tB", 0, 1.0f, 1.0f, 1.0f, 1);
    const std::string name = "\x1b[2J\nX\x7f";
    std::copy(name.begin(), name.end(), r.begin());
    const std::string path = WriteRecords({r});

    ProcessResult text = RunCli({"show", path});
    ASSERT_TRUE(text.Exited(0)) << Describe(text);
    EXPECT_TRUE(text.out.starts_with("?[2J?X?" + std::string(7 + 8, ' ') + "Rs\n")) << text.out;
    EXPECT_NE(text.out.find("  [1] A?B\n"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('\x1b'), std::string::npos);

    ProcessResult asJson = RunCli({"show", path, "--json"});
    ASSERT_TRUE(asJson.Exited(0)) << Describe(asJson);
    json doc = json::parse(asJson.out);
    EXPECT_EQ(doc["records"][0]["line"], name + std::string(7 + 8, ' ') + "Rs");
    EXPECT_EQ(doc["records"][0]["items"][0], "A\tB" + std::string(11, ' '));
}

TEST_F(ShowCommandTest, EmptyFileShowsNoRecords) {
    const std::string path = WriteRecords({});
    ProcessResult asJson = RunCli({"show", path, "--json"});
    ASSERT_TRUE(asJson.Exited(0)) << Describe(asJson);
    EXPECT_EQ(json::parse(asJson.out), json::parse(R"({"count": 0, "records": []})"));
    ProcessResult text = RunCli({"show", path});
    ASSERT_TRUE(text.Exited(0)) << Describe(text);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "");
}

TEST_F(ShowCommandTest, FileThatCannotBeReadInFullIsRefused) {
    std::string header(32, '\0');
    std::string record(256, 'x');
    auto withCount = [&](int count, int records) {
        std::string bytes = header;
        bytes[0] = static_cast<char>(count);
        for (int i = 0; i < records; ++i) bytes += record;
        return bytes;
    };
    WriteWholeFile(folder_.File("short.zmk"), withCount(5, 4));
    WriteWholeFile(folder_.File("header.zmk"), header.substr(0, 20));
    WriteWholeFile(folder_.File("none.zmk"), "");
    WriteWholeFile(folder_.File("c201.zmk"), withCount(201, 201));
    WriteWholeFile(folder_.File("c255.zmk"), withCount(255, 255));
    std::filesystem::create_directory(folder_.File("folder.zmk"));

    for (const char* name :
         {"missing.zmk", "short.zmk", "header.zmk", "none.zmk", "c201.zmk", "c255.zmk", "folder.zmk"}) {
        for (bool asJson : {false, true}) {
            std::vector<std::string> args{"show", folder_.File(name)};
            if (asJson) args.push_back("--json");
            ProcessResult result = RunCli(args);
            EXPECT_TRUE(result.Exited(1)) << name << "\n" << Describe(result);
            EXPECT_EQ(result.err, "Не могу открыть файл " + std::string(name) + " !\n") << name;
            EXPECT_EQ(result.out, "") << name;
        }
    }

    // The largest list, and a file longer than its count says, are read.
    WriteWholeFile(folder_.File("c200.zmk"), withCount(200, 200));
    WriteWholeFile(folder_.File("long.zmk"), withCount(1, 3));
    for (auto [name, count] : {std::pair{"c200.zmk", 200}, std::pair{"long.zmk", 1}}) {
        ProcessResult result = RunCli({"show", folder_.File(name), "--json"});
        ASSERT_TRUE(result.Exited(0)) << name << "\n" << Describe(result);
        EXPECT_EQ(nlohmann::json::parse(result.out)["count"], count);
    }
}

}  // namespace
}  // namespace zemrik::test
