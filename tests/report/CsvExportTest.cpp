// CSV export: the bytes, and what Python's csv module reads back from them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "report/CsvExport.h"
#include "support/RecordBuilders.h"
#include "support/RunProcess.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::RecordBuilder;

MeasurementList Records() {
    const std::vector<MeasurementRecord> records{
        RecordBuilder("ЛИНИЯ 1").Kind(0).Value(rec::Rs, 12.5f).Temp(43),
        RecordBuilder("A;B\"C").Kind(1).Value(rec::dR, 150).Temp(5),
        RecordBuilder("C").Kind(2).Value(rec::Cxab, std::nanf("")).Temp(20),
        RecordBuilder("L")
            .Kind(3)
            .Value(rec::Rs, -5)
            .Value(rec::Lx, 1234.5f)
            .Temp(20)
            .Sections(1)
            .Section(0, "КСПП", 0, 24.5f, 28.5f, 12345.6f, 90),
        RecordBuilder("R").Kind(4).Value(rec::Riab, 1234.5678f).Value(rec::Ribc, 7).Temp(20),
        RecordBuilder("K").Kind(5).Value(rec::K, 0.4567f).Value(rec::LxCl, 65000).Temp(20),
        RecordBuilder("CR")
            .Kind(6)
            .Value(rec::Cxab, 100)
            .Value(rec::Cxbc, 200.25f)
            .Value(rec::Cxac, 3500)
            .Value(rec::Riab, 999)
            .Value(rec::Ribc, 25000000)
            .Value(rec::Riac, 0)
            .Temp(20),
        RecordBuilder("HELD").Kind(5).Value(rec::K, 0.5f).Value(rec::LxCl, std::nanf("")).Temp(20),
    };
    MeasurementList list;
    for (const MeasurementRecord& r : records) list.slots[list.count++] = r;
    return list;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(CsvExportTest, PythonReadsBackTheSameNumbersWithEitherSeparator) {
    const MeasurementList list = Records();
    const std::vector<std::string> expected{
        "№ | Имя | Вид | Rs, Ом | ΔR, Ом | Cx(AB), нФ | Cx(BC), нФ | Cx(AC), нФ | Cx/Cl | Ri(AB), МОм | "
        "Ri(BC), МОм | Ri(AC), МОм | Lx, м | t, °С | Секция 1 | Секция 1: C, нФ/км | Секция 1: R, Ом/км | "
        "Секция 1: d, мм | Секция 1: материал | Секция 1: длина, м",
        "#1.0 | ЛИНИЯ 1 | Rs | #12.5 |  |  |  |  |  |  |  |  |  | #23.0 |  |  |  |  |  | ",
        "#2.0 | A;B\"C | dR |  | > 100 Ом |  |  |  |  |  |  |  |  | #-15.0 |  |  |  |  |  | ",
        "#3.0 | C | Cx |  |  |  |  |  |  |  |  |  |  | #0.0 |  |  |  |  |  | ",
        "#4.0 | L | Lx | #-5.0 |  |  |  |  |  |  |  |  | #1234.5 | #0.0 | КСПП | #24.5 | #28.5 | #0.9 | Медь "
        "| "
        "#12345.6",
        // Pair AB's value sits in the BC column, as the panel shows it; the stored BC is not shown.
        "#5.0 | R | Ri |  |  |  |  |  |  |  | #1.2345677 |  |  | #0.0 |  |  |  |  |  | ",
        "#6.0 | K | Cx/Cl |  |  |  |  |  | #0.4567 |  |  |  | > 60 км | #0.0 |  |  |  |  |  | ",
        "#7.0 | CR | Ri, Cx |  |  | #100.0 | #200.25 | > 3000 нФ |  | #0.999 | > 20 ГОм | #0.0 |  | #0.0 |  "
        "|  |  "
        "|  |  | ",
        "#8.0 | HELD | Cx/Cl |  |  |  |  |  |  |  |  |  |  | #0.0 |  |  |  |  |  | ",
    };
    test::TempFolder folder;
    for (const std::string separator : {",", "."}) {
        SCOPED_TRACE(separator);
        const std::string path = folder.File("out.csv");
        const std::string csv = BuildCsv(list, {0, 1, 2, 3, 4, 5, 6, 7}, separator);
        test::WriteWholeFile(path, csv);
        const test::ProcessResult read = test::RunProcess(
            {"/usr/bin/python3", ZEMRIK_SOURCE_DIR "/tests/report/read_csv.py", path, separator});
        ASSERT_TRUE(read.Exited(0)) << read.err;
        EXPECT_EQ(Lines(read.out), expected);
        // The bytes: mark, quoting, CR LF, the separator inside numbers only.
        const std::vector<std::string> raw = Lines(csv);
        EXPECT_EQ(raw[0].substr(0, 7), "\xEF\xBB\xBF№;");
        EXPECT_EQ(raw[2], "2;\"A;B\"\"C\";dR;;> 100 Ом;;;;;;;;;-15;;;;;;\r");
        EXPECT_EQ(raw[7], separator == ","
                              ? "7;CR;Ri, Cx;;;100;200,25;> 3000 нФ;;0,999;> 20 ГОм;0;;0;;;;;;\r"
                              : "7;CR;Ri, Cx;;;100;200.25;> 3000 нФ;;0.999;> 20 ГОм;0;;0;;;;;;\r");
    }
    // Without records with sections there are no section columns.
    EXPECT_EQ(Lines(BuildCsv(list, {0}, ","))[1], "1;ЛИНИЯ 1;Rs;12,5;;;;;;;;;;23\r");
}

TEST(CsvExportTest, NumbersAreExactPlainAndNeverMinusZero) {
    const std::vector<std::tuple<float, int, std::string>> cases{
        {1500, -3, "1,5"},           {0.1f, -3, "0,0001"},   {-0.0f, 0, "0"},   {1e-3f, 0, "0,001"},
        {123456792, 0, "123456792"}, {-2.5f, -3, "-0,0025"}, {INFINITY, 0, ""}, {std::nanf(""), 0, ""},
    };
    for (const auto& [value, shift, text] : cases) EXPECT_EQ(CsvNumber(value, shift, ","), text) << value;
    EXPECT_EQ(CsvField("x\ny"), "\"x\ny\"");
}

TEST(CsvExportTest, ExportAsksForTheFileAndSaysWhenItCannotWrite) {
    const MeasurementList list = Records();
    test::TempFolder folder;
    test::ScriptedPrompt prompt;
    prompt.files = {std::nullopt, folder.File("missing/out.csv"), folder.File("out.csv")};
    EXPECT_FALSE(ExportCsv(list, {0}, ",", prompt, "/start"));
    EXPECT_FALSE(ExportCsv(list, {0}, ",", prompt, "/start"));
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Не могу записать файл out.csv !"});
    EXPECT_TRUE(ExportCsv(list, {1, 0}, ",", prompt, "/start"));
    EXPECT_EQ(test::ReadWholeFile(folder.File("out.csv")), BuildCsv(list, {0, 1}, ","));
    ASSERT_EQ(prompt.fileRequests.size(), 3u);
    EXPECT_EQ(prompt.fileRequests[0].filter, "CSV (*.csv)");
    EXPECT_EQ(prompt.fileRequests[0].defaultSuffix, "csv");
    EXPECT_EQ(prompt.fileRequests[0].startFolder, "/start");
    EXPECT_TRUE(prompt.fileRequests[0].confirmOverwrite);
}

}  // namespace
}  // namespace zemrik
