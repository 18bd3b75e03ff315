// The commands in-process: exit codes and output layout; the logic is the documents', the line
// the end-to-end tests'.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"

namespace zemrik::cli {
namespace {

using json = nlohmann::ordered_json;  // key order is part of the output

class FakeAccess : public InstrumentAccess {
public:
    test::FakeInstrument instrument;
    int opened = 0;
    InstrumentRecords* Open(Report&) override { return ++opened, &instrument; }
    InstrumentCables* OpenCables(Report&) override { return ++opened, &instrument; }
    void Close() override {}
};

std::vector<MeasurementRecord> Records(int count) {
    std::vector<MeasurementRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(test::RecordBuilder("Линия " + std::to_string(i)).Kind(i % 7).Filler(100 + i));
    return records;
}

class CommandsTest : public ::testing::Test {
protected:
    // Parses and runs `args`; the instrument commands get a port (the fake answers on any).
    int Run(std::vector<std::string> args) {
        if (args[0] != "show" && args[0] != "export" && (args.size() < 2 || args[1] != "show"))
            args.insert(args.end(), {"--port", "2"});
        ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_TRUE(parsed.request) << parsed.err;
        report_ = {};
        return parsed.request ? RunCommand(*parsed.request, access_, report_) : -1;
    }
    std::string WriteZmk(const std::vector<MeasurementRecord>& records) {
        std::string bytes = static_cast<char>(records.size()) + std::string(31, '\0');
        for (const MeasurementRecord& r : records) bytes.append(r.begin(), r.end());
        test::WriteWholeFile(zmk_, bytes);
        return zmk_;
    }

    test::TempFolder folder_;
    const std::string zmk_ = folder_.File("in.zmk");
    const std::string out_ = folder_.File("out.zmk");
    FakeAccess access_;
    test::FakeInstrument& device_ = access_.instrument;
    Report report_;
};

// Exit codes and what is printed; a Get that fails at a record writes no file (the document
// keeps the records before it); a usage error opens no port.
TEST_F(CommandsTest, InstrumentCommandsExitAndPrint) {
    WriteZmk(Records(4));
    const std::string got = "Считано записей: 3 -> " + out_ + "\n";
    struct Case {
        std::vector<std::string> args;
        bool fails;  // the instrument refuses reading record 2 and the first write
        int exit;
        std::string out, err;
    };
    // clang-format off
    const Case cases[] = {
        {{"list"}, false, 0, "  0  Линия 0\n  1  Л?ния 1\n  2  Линия 2\n", ""},  // ESC shown as '?'
        {{"get", "-o", out_}, false, 0, got, ""},
        {{"get", "-o", out_}, true, 1, "", "Ошибка чтения файла Линия 2       !\n"},
        {{"put", zmk_, "--records", "3,0,3"}, false, 0, "Записано записей: 2\n", ""},
        {{"put", zmk_, "--records", "1"}, true, 1, "",
         "Ошибка записи файла Линия 1        !\nЗаписано 0 из 1: ошибка записи\n"},
        {{"put", zmk_, "--records", "4"}, false, 2, "",
         "zemrik-cli: --records: the file holds records 0 to 3\nRun with --help for more information.\n"},
        {{"delete", "1", "1"}, false, 0, "Удалено записей: 2\n", ""},
        // Record 7 does not exist: the 0 after it is not sent.
        {{"delete", "2", "7", "0"}, false, 1, "", "Ошибка удаления файла 7 !\nУдалено 1 из 3: ошибка удаления\n"},
        // --expect: each number must name its record when its turn comes, else nothing goes.
        {{"delete", "0", "1", "--expect", "Линия 0", "Линия 2"}, false, 0, "Удалено записей: 2\n", ""},
        {{"delete", "0", "--expect", "Линия 2"}, false, 1, "",
         "Записи в приборе изменились после чтения. Считайте записи заново.\n"}};
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        device_ = {};
        device_.records = Records(3);
        device_.records[1][rec::Name + 1] = 0x1B;
        if (c.fails) device_.readFailures[2] = 1, device_.writeResults = {1};
        std::filesystem::remove(out_);
        EXPECT_EQ(Run(c.args), c.exit);
        EXPECT_EQ(report_.out, c.out);
        EXPECT_EQ(report_.err, c.err);
        EXPECT_EQ(std::filesystem::exists(out_), c.out == got);
    }
    EXPECT_EQ(access_.opened, 9);
}

TEST_F(CommandsTest, ShowLaysOutThePanelRowsAndEverySectionAsTextAndJson) {
    const MeasurementRecord r = test::RecordBuilder("РАЗРЫВ ПАРЫ")
                                    .Kind(KindCl)
                                    .Value(rec::K, 0.4567f)
                                    .Value(rec::LxCl, 2346.0f)
                                    .Temp(43)
                                    .Sections(1)
                                    .Section(0, "КСПП 1x4x0,9", 0, 24.5f, 28.5f, 12345.6f, 90);
    ASSERT_EQ(Run({"show", WriteZmk({r, r}), "--decimal-separator", ","}), 0) << report_.err;
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
    // JSON: the panel's texts under their names, the separator as asked.
    ASSERT_EQ(Run({"show", WriteZmk({r}), "--json", "--decimal-separator", "<>"}), 0);
    EXPECT_EQ(json::parse(report_.out)["records"][0]["sections"][0]["LLbl"], "12346<>0 м");
}

// The CSV of the chosen records to a file (a note on stdout) or, without -o, to stdout.
TEST_F(CommandsTest, ExportWritesTheChosenRecordsAsCsv) {
    const MeasurementRecord rs = test::RecordBuilder("ЛИНИЯ").Kind(KindRs).Value(rec::Rs, 12.5f).Temp(43);
    const MeasurementRecord dr = test::RecordBuilder("D").Kind(KindDR).Value(rec::dR, -1.25f).Temp(20);
    const std::string zmk = WriteZmk({rs, dr, rs});
    const std::string csv = folder_.File("out.csv");
    ASSERT_EQ(Run({"export", zmk, "--records", "1,0,1", "-o", csv, "--decimal-separator", ","}), 0)
        << report_.err;
    EXPECT_EQ(report_.out, "Записей в CSV: 2 -> " + csv + "\n");
    const std::string heading =
        "\xEF\xBB\xBF№;Имя;Вид;Rs, Ом;ΔR, Ом;Cx(AB), нФ;Cx(BC), нФ;Cx(AC), нФ;Cx/Cl;Ri(AB), МОм;Ri(BC), МОм;"
        "Ri(AC), МОм;Lx, м;t, °С\r\n";
    EXPECT_EQ(test::ReadWholeFile(csv),
              heading + "1;ЛИНИЯ;Rs;12,5;;;;;;;;;;23\r\n2;D;dR;;-1,25;;;;;;;;;0\r\n");
    ASSERT_EQ(Run({"export", zmk, "--decimal-separator", "."}), 0);
    EXPECT_EQ(report_.out, heading + "1;ЛИНИЯ;Rs;12.5;;;;;;;;;;23\r\n2;D;dR;;-1.25;;;;;;;;;0\r\n" +
                               "3;ЛИНИЯ;Rs;12.5;;;;;;;;;;23\r\n");
    EXPECT_EQ(Run({"export", zmk, "--records", "3"}), 2);
    EXPECT_NE(report_.err.find("--records: the file holds records 0 to 2"), std::string::npos);
    EXPECT_EQ(Run({"export", folder_.File("none.zmk")}), 1);
    EXPECT_EQ(report_.err, "Не могу открыть файл none.zmk !\n");
}

}  // namespace
}  // namespace zemrik::cli
