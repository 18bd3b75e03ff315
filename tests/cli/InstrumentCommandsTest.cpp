// The instrument commands against an in-memory instrument: what each prints, what it writes and
// where it stops. The serial line under them is the end-to-end tests' business.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "Commands.h"
#include "cables/CableTableFile.h"
#include "measurement/MeasurementFile.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"

namespace zemrik::cli {
namespace {

using test::FakeInstrument;

class FakeAccess : public InstrumentAccess {
public:
    FakeInstrument instrument;
    int opened = 0;
    InstrumentCommands* Open(Report&) override {
        ++opened;
        return &instrument;
    }
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

class InstrumentCommandsTest : public ::testing::Test {
protected:
    // Parses `args` after "--port 2" and runs them against the fake instrument.
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", "2"});
        ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_TRUE(parsed.request) << parsed.err;
        report_ = {};
        return parsed.request ? RunCommand(*parsed.request, access_, report_) : -1;
    }
    std::string WriteZmk(const std::vector<MeasurementRecord>& records) {
        auto list = std::make_unique<MeasurementList>();
        for (const MeasurementRecord& r : records) list->slots[list->count++] = r;
        FileHeader header{};
        EXPECT_TRUE(WriteMeasurementFile(zmk_, *list, header));
        return zmk_;
    }

    test::TempFolder folder_;
    const std::string zmk_ = folder_.File("in.zmk");
    const std::string out_ = folder_.File("out.zmk");
    FakeAccess access_;
    FakeInstrument& device_ = access_.instrument;
    Report report_;
};

TEST_F(InstrumentCommandsTest, ListShowsNumbersAndNamesAndJsonKeepsTheField) {
    device_.records = Records(3);
    device_.records[1][rec::Name + 1] = 0x1B;  // shown as '?', kept (escaped) in JSON
    device_.records[2][rec::Name + 4] = 0;     // the name ends at a NUL
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(report_.out, "  0  Линия 0\n  1  Л?ния 1\n  2  Лини\n");
    EXPECT_EQ(report_.err, "");

    ASSERT_EQ(Run({"list", "--json"}), 0);
    const nlohmann::json doc = nlohmann::json::parse(report_.out);
    EXPECT_EQ(doc["count"], 3);
    EXPECT_EQ(doc["entries"][0],
              nlohmann::json::parse(R"({"index": 0, "name": "Линия 0       ", "extra": [0, 0]})"));
    EXPECT_EQ(doc["entries"][1]["name"], "Л\x1bния 1       ");
    EXPECT_EQ(doc["entries"][2]["name"], "Лини");

    device_.records.clear();
    ASSERT_EQ(Run({"list", "--json"}), 0);
    EXPECT_EQ(nlohmann::json::parse(report_.out), nlohmann::json::parse(R"({"count": 0, "entries": []})"));
}

TEST_F(InstrumentCommandsTest, GetWritesEveryRecordWithAFreshHeaderOrNoFileAtAll) {
    device_.records = Records(3);
    ASSERT_EQ(Run({"get", "-o", out_}), 0) << report_.err;
    EXPECT_EQ(report_.out, "Считано записей: 3 -> " + out_ + "\n");
    EXPECT_EQ(test::ReadWholeFile(out_),
              std::string(1, '\3') + std::string(31, '\0') + Bytes(device_.records));
    std::filesystem::remove(out_);

    const std::pair<std::function<void()>, std::string> failures[] = {
        {[&] { device_.records.clear(); }, "В памяти прибора нет файлов!\n"},
        {[&] { device_.rootResult = 1; }, "Ошибка при чтении RootTable.\n"},
        {[&] { device_.readFailures[1] = 1; }, "Ошибка чтения файла Линия 1       !\n"}};
    for (const auto& [fault, err] : failures) {
        device_ = FakeInstrument{};
        device_.records = Records(3);
        fault();
        EXPECT_EQ(Run({"get", "-o", out_}), 1);
        EXPECT_EQ(report_.err, err);
        EXPECT_EQ(report_.out, "");
        EXPECT_FALSE(std::filesystem::exists(out_));
    }
}

TEST_F(InstrumentCommandsTest, PutWritesTheChosenRecordsInFileOrderUnderTheirNames) {
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
    EXPECT_EQ(Run({"put", folder_.File("none.zmk")}), 1);
    EXPECT_EQ(report_.err, "Не могу открыть файл none.zmk !\n");
    EXPECT_EQ(access_.opened, 0);
}

TEST_F(InstrumentCommandsTest, PutStopsAtTheFirstRefusalWithTheMainWindowsTexts) {
    WriteZmk(Records(3));
    struct Case {
        std::vector<std::uint8_t> results;
        int capacity;
        std::string err;  // empty: success
        std::size_t writes;
    };
    const Case cases[] = {
        {{1}, 200, "Ошибка записи файла Линия 0        !\n", 1},
        {{2}, 200, "Нет места для записи!\n", 1},
        {{3, 3, 3}, 200, "", 3},  // any other answer counts as written
        {{}, 2, "Нет места для записи!\n", 3},
    };
    for (const Case& c : cases) {
        device_ = FakeInstrument{};
        device_.writeResults = c.results;
        device_.capacity = c.capacity;
        EXPECT_EQ(Run({"put", zmk_}), c.err.empty() ? 0 : 1);
        EXPECT_EQ(report_.err, c.err);
        EXPECT_EQ(report_.out, c.err.empty() ? "Записано записей: 3\n" : "");
        EXPECT_EQ(device_.log.size(), c.writes) << c.err;
    }
}

TEST_F(InstrumentCommandsTest, DeleteSendsTheNumbersAsGivenAndStopsAtAFailure) {
    device_.records = Records(5);
    ASSERT_EQ(Run({"delete", "1", "1"}), 0);
    EXPECT_EQ(report_.out, "Удалено записей: 2\n");
    EXPECT_EQ(Bytes(device_.records), Bytes({Records(5)[0], Records(5)[3], Records(5)[4]}));

    // Record 7 does not exist; the 0 after it must not be deleted on the strength of it.
    device_.log.clear();
    EXPECT_EQ(Run({"delete", "2", "7", "0"}), 1);
    EXPECT_EQ(report_.err,
              "zemrik-cli: record 7 was not deleted: the instrument answered 1 (deleted 1 of 3)\n");
    EXPECT_EQ(device_.log, (std::vector<std::string>{"delete 2", "delete 7"}));

    device_.deleteResults[0] = 2;
    EXPECT_EQ(Run({"delete", "0"}), 1);
    EXPECT_EQ(report_.err,
              "zemrik-cli: record 0 was not deleted: the instrument did not answer (deleted 0 of 1)\n");
}

TEST_F(InstrumentCommandsTest, CableTableTravelsAndRefusalsHaveTheCableWindowsTexts) {
    const std::string cbl = folder_.File("in.cbl");
    const std::string outCbl = folder_.File("out.cbl");
    device_.cables.count = 2;
    device_.cables.records[0] = test::MakeCable("ТПП 10х2", 0, 45, 28.5f, 40, 0xC3);
    device_.cables.records[1] = test::MakeCable("ТППа", 1, 46, 455, 50, 0x11);
    ASSERT_EQ(Run({"cables", "get", "-o", outCbl}), 0) << report_.err;
    EXPECT_EQ(report_.out, "Считано кабелей: 2 -> " + outCbl + "\n");
    auto tableBytes = [](const CableTable& table) {
        std::string bytes;
        for (int i = 0; i < table.count; ++i) bytes.append(table.records[i].begin(), table.records[i].end());
        return bytes;
    };
    const std::string bytes = tableBytes(device_.cables);
    EXPECT_EQ(test::ReadWholeFile(outCbl), bytes);

    std::filesystem::copy_file(outCbl, cbl);
    device_.cables = {};
    ASSERT_EQ(Run({"cables", "put", cbl}), 0) << report_.err;
    EXPECT_EQ(report_.out, "Записано кабелей: 2\n");
    EXPECT_EQ(tableBytes(device_.cables), bytes);

    const std::pair<std::uint8_t, std::string> refusals[] = {
        {1, "Ошибка записи!\n"}, {2, "Нет места для таблицы!\n"}, {9, ""}};
    for (const auto& [result, err] : refusals) {
        device_.cableWriteResult = result;
        EXPECT_EQ(Run({"cables", "put", cbl}), err.empty() ? 0 : 1);
        EXPECT_EQ(report_.err, err);
    }
    std::filesystem::remove(outCbl);
    device_.cableReadResult = 1;
    EXPECT_EQ(Run({"cables", "get", "-o", outCbl}), 1);
    EXPECT_EQ(report_.err, "Ошибка чтения таблицы кабелей!\n");
    EXPECT_FALSE(std::filesystem::exists(outCbl));
}

}  // namespace
}  // namespace zemrik::cli
