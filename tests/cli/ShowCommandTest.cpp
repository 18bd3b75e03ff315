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

// One record of every kind, some with sections, and a damaged one.
std::vector<MeasurementRecord> KindRecords() {
    // clang-format off
    return {
        RecordBuilder("КАБЕЛЬ 1").Kind(KindRs).Value(rec::Rs, 10000.0f).Temp(43).Sections(1)
            .Section(0, "ТПП 10x2", 0, 45.6f, 278.0f, 12345.6f, 40),
        RecordBuilder("КАБЕЛЬ 2").Kind(KindDR).Value(rec::dR, -12.34f).Temp(5),
        RecordBuilder("ЕМКОСТЬ").Kind(KindCx).Value(rec::Cxab, -3500.0f).Value(rec::Cxbc, 12.0f),
        RecordBuilder("ОБРЫВ").Kind(KindLx).Value(rec::Lx, 1234.5f).Sections(2)
            .Section(1, "ТГ", 0, 5, 9, 2, 7),
        RecordBuilder("ИЗОЛЯЦИЯ").Kind(KindRi).Value(rec::Riab, 1500.0f),
        RecordBuilder("ОТНОШЕНИЕ").Kind(KindCl).Value(rec::K, 0.4567f).Value(rec::LxCl, 23456.0f),
        RecordBuilder("ТРИ ПАРЫ").Kind(KindCR).Value(rec::Riab, 25e6f).Sections(3)
            .Section(2, "В", 7, 9, 1, 1, 12),
        // An unknown kind and a section count that would run past the record.
        RecordBuilder("ПОВРЕЖДЕН").Kind(9).Sections(7).Filler(77)};
    // clang-format on
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

// Every text the command prints is what the panel functions give for the same record.
void ExpectMatchesPanel(const json& actual, const MeasurementRecord& r, const std::string& sep) {
    const MeasurementTexts t = ShowMeasurement(r, sep);
    const std::pair<const char*, const std::string&> top[] = {
        {"TypeLbl", t.TypeLbl}, {"RsLbl", t.RsLbl},     {"dRLbl", t.dRLbl}, {"CxabLbl", t.CxabLbl},
        {"CxbcLbl", t.CxbcLbl}, {"CxacLbl", t.CxacLbl}, {"KLbl", t.KLbl},   {"RiabLbl", t.RiabLbl},
        {"RibcLbl", t.RibcLbl}, {"RiacLbl", t.RiacLbl}, {"LxLbl", t.LxLbl}, {"TLbl", t.TLbl}};
    for (const auto& [key, value] : top) EXPECT_EQ(actual.at(key), value) << key;
    EXPECT_EQ(actual.at("line"), AnsiToUtf8(ListLine(r)));
    EXPECT_EQ(actual.at("items").get<std::vector<std::string>>(), t.items);
    auto expectSection = [](const json& s, const SectionTexts& e) {
        EXPECT_EQ(s.at("CLbl"), e.CLbl);
        EXPECT_EQ(s.at("RLbl"), e.RLbl);
        EXPECT_EQ(s.at("dLbl"), e.dLbl);
        EXPECT_EQ(s.at("MaterialLbl"), e.MaterialLbl);
        EXPECT_EQ(s.at("LLbl"), e.LLbl);
    };
    expectSection(actual, t.section);
    ASSERT_EQ(actual.at("sections").size(), t.items.size());
    for (std::size_t s = 0; s < t.items.size(); ++s) {
        SCOPED_TRACE(testing::Message() << "section " << s);
        expectSection(actual["sections"][s], SectionItemTexts(r, static_cast<int>(s), sep));
    }
}

TEST_F(ShowCommandTest, JsonGivesThePanelTextsOfEveryKindWithTheChosenSeparator) {
    const std::vector<MeasurementRecord> records = KindRecords();
    const std::string path = WriteRecords(records);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "."},  // LC_ALL=C gives a point
        {{"--decimal-separator", ","}, ","},
        {{"--decimal-separator=,"}, ","},
        {{"--decimal-separator", "<>"}, "<>"},
    };
    for (const auto& [extra, sep] : cases) {
        SCOPED_TRACE(testing::PrintToString(extra));
        std::vector<std::string> args{"show", path, "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        ProcessResult result = RunCli(args);
        ASSERT_TRUE(result.Exited(0)) << Describe(result);
        EXPECT_EQ(result.err, "");
        json doc = json::parse(result.out);
        ASSERT_EQ(doc.at("count"), records.size());
        ASSERT_EQ(doc.at("records").size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "record " << i);
            ExpectMatchesPanel(doc["records"][i], records[i], sep);
        }
        // A few literal texts, so the command and the panel cannot drift together unnoticed.
        const json& rs = doc["records"][0];
        EXPECT_EQ(rs["line"], "КАБЕЛЬ 1      " + std::string(8, ' ') + "Rs");
        EXPECT_EQ(rs["items"], json::array({"ТПП 10x2      "}));
        EXPECT_EQ(rs["LLbl"], "12345" + sep + "6 м");
        EXPECT_EQ(rs["sections"][0]["LLbl"], "12346" + sep + "0 м");  // as picked in the drop-down
        EXPECT_EQ(doc["records"][5]["LxLbl"], "23" + sep + "46 км");
        EXPECT_EQ(doc["records"][7]["sections"].size(), 5u);
    }
}

TEST_F(ShowCommandTest, TextShowsEveryCaptionAndValueOfEveryRecord) {
    const std::vector<MeasurementRecord> records = KindRecords();
    ProcessResult result = RunCli({"show", WriteRecords(records), "--decimal-separator", ","});
    ASSERT_TRUE(result.Exited(0)) << Describe(result);
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    auto countOf = [&](const std::string& wanted) { return std::count(lines.begin(), lines.end(), wanted); };
    auto countStarting = [&](const std::string& prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.starts_with(prefix); });
    };

    for (const char* caption : {"Вид:", "Rs:", "ΔR:", "Cx(AB):", "Cx(BC):", "Cx(AC):", "Cx/Cl:", "Ri(AB):",
                                "Ri(BC):", "Ri(AC):", "Lx:", "t:", "Секции"})
        EXPECT_EQ(countStarting("  " + std::string(caption)), static_cast<long>(records.size())) << caption;
    std::set<std::string> listLines;
    for (const MeasurementRecord& r : records) listLines.insert(AnsiToUtf8(ListLine(r)));
    for (const std::string& line : listLines) EXPECT_EQ(countOf(line), 1) << line;

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

TEST_F(ShowCommandTest, EmptyFileShowsNothingAndAnUnreadableOneIsRefused) {
    const std::string empty = WriteRecords({});
    ProcessResult asJson = RunCli({"show", empty, "--json"});
    ASSERT_TRUE(asJson.Exited(0)) << Describe(asJson);
    EXPECT_EQ(json::parse(asJson.out), json::parse(R"({"count": 0, "records": []})"));
    ProcessResult text = RunCli({"show", empty});
    ASSERT_TRUE(text.Exited(0)) << Describe(text);
    EXPECT_EQ(text.out + text.err, "");

    // The ways a file can be damaged are the reader's tests; here: the exit and the message.
    std::string shortFile(32 + 4 * 256, 'x');
    shortFile[0] = 5;
    WriteWholeFile(folder_.File("short.zmk"), shortFile);
    std::filesystem::create_directory(folder_.File("folder.zmk"));
    for (const char* name : {"missing.zmk", "short.zmk", "folder.zmk"}) {
        for (bool withJson : {false, true}) {
            std::vector<std::string> args{"show", folder_.File(name)};
            if (withJson) args.push_back("--json");
            ProcessResult result = RunCli(args);
            EXPECT_TRUE(result.Exited(1)) << name << "\n" << Describe(result);
            EXPECT_EQ(result.err, "Не могу открыть файл " + std::string(name) + " !\n") << name;
            EXPECT_EQ(result.out, "") << name;
        }
    }
}

}  // namespace
}  // namespace zemrik::test
