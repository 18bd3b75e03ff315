#include "measurement/MeasurementDocument.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/CodePage.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using Strings = std::vector<std::string>;

MeasurementRecord Rec(int i) {
    return test::RecordBuilder("ЗАП " + std::to_string(i)).Filler(100 + i).Kind(i % 7).Temp(40);
}
std::string Name(int i) { return "ЗАП " + std::to_string(i) + std::string(9, ' '); }

// Runs `during` after every record a Get reads; notes the messages up when the exchange ended.
struct Recorder : MeasurementObserver {
    std::function<void()> during;
    test::ScriptedPrompt* prompt = nullptr;
    std::size_t shownAtEnd = 0;
    void RecordRead(int, int) override {
        if (during) during();
    }
    void ExchangeEnded() override { shownAtEnd = prompt->messages.size(); }
};

class Document : public testing::Test {
protected:
    void SetUp() override {
        observer.prompt = &prompt;
        doc.SetObserver(&observer);
    }
    void GetRecords(int n) {
        instrument = {};
        for (int i = 0; i < n; ++i) instrument.records.push_back(Rec(i));
        doc.SetInstrument(&instrument);
        ASSERT_EQ(doc.Get().panel, PanelAction::ShowFirst);
        instrument.log.clear();
        prompt = {};
    }
    // Records 50, 51, ... under header bytes that differ from one another.
    std::string WriteFile(const std::string& name, int count) {
        std::string bytes(32, '\0');
        test::FillBytes(reinterpret_cast<std::uint8_t*>(bytes.data()), 32, count);
        bytes[0] = static_cast<char>(count);
        for (int i = 0; i < count; ++i) {
            const MeasurementRecord r = Rec(50 + i);
            bytes.append(r.begin(), r.end());
        }
        test::WriteWholeFile(dir.File(name), bytes);
        return dir.File(name);
    }
    static Strings Lines(const std::vector<int>& recs) {
        Strings lines;
        for (int i : recs) lines.push_back(AnsiToUtf8(ListLine(Rec(i))));
        return lines;
    }

    test::TempFolder dir;
    test::ScriptedPrompt prompt;
    test::FakeInstrument instrument;
    Recorder observer;
    MeasurementDocument doc{prompt};
};

TEST_F(Document, GetReadsEveryRecordAndRefusesEverythingUnderIt) {
    int probes = 0;
    observer.during = [&] {
        // Whatever events processed inside the exchange ask for is refused without a question.
        EXPECT_FALSE(doc.Get().linesChanged || doc.Delete({0}).linesChanged || doc.Open().linesChanged ||
                     doc.Save() || doc.Rename(0) || doc.CloseQuery() || doc.Commands(true).exit);
        ++probes;
    };
    GetRecords(3);
    EXPECT_EQ(probes, 3);
    EXPECT_TRUE(doc.Lines() == Lines({0, 1, 2}) && doc.Record(2) == Rec(2));
    EXPECT_TRUE(doc.Modified() && doc.FromInstrument() && !doc.Busy() && doc.Commands(true).put);
}

TEST_F(Document, GetFailuresKeepWhatTheyMust) {
    const std::string path = WriteFile("old.zmk", 2);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { instrument.rootResult = 1; }, "Ошибка при чтении RootTable."},
        {[&] { instrument.records.clear(); }, "В памяти прибора нет файлов!"},
        {[&] { instrument.readFailures[2] = 1; }, "Ошибка чтения файла " + Name(2) + "!"},
    };
    for (const auto& [arrange, shown] : cases) {
        GetRecords(4);
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        arrange();
        const bool atRecord = instrument.readFailures.size() == 1;
        const CommandResult result = doc.Get();
        EXPECT_EQ(prompt.Texts(), Strings{shown});
        EXPECT_EQ(observer.shownAtEnd, 0u) << "the message comes after the exchange";
        // Failing at record k keeps records 0..k-1; earlier failures keep the file.
        EXPECT_EQ(doc.Lines(), atRecord ? Lines({0, 1}) : Lines({50, 51}));
        EXPECT_EQ(result.panel, atRecord ? PanelAction::ShowFirst : PanelAction::Leave);
        EXPECT_EQ(doc.Modified() && doc.FromInstrument(), atRecord);
    }
}

TEST_F(Document, PutWritesSelectedLinesInOrderUntilTheFirstFailure) {
    const std::string fail1 = "Ошибка записи файла " + Name(1) + " !";
    // reply codes (-1: no port), written, failure
    const std::tuple<std::vector<int>, Strings, std::string> cases[] = {
        {{}, {Name(1), Name(3)}, ""},
        {{1}, {Name(1)}, fail1},
        {{2}, {Name(1)}, "Нет места для записи!"},
        {{-1}, {}, fail1},
    };
    for (const auto& [results, written, failure] : cases) {
        GetRecords(4);
        prompt.answers.push_back(PromptAnswer::Yes);
        for (int r : results) instrument.writeResults.push_back(static_cast<std::uint8_t>(r));
        if (results == std::vector<int>{-1}) doc.SetInstrument(nullptr);
        doc.Put({3, 1});
        Strings writes, shown{"Записать в прибор?"};
        for (const std::string& name : written) writes.push_back("write " + Utf8ToAnsi(name));
        if (!failure.empty()) shown.push_back(failure);
        EXPECT_EQ(instrument.log, writes);
        EXPECT_EQ(prompt.Texts(), shown);
        EXPECT_TRUE(doc.Count() == 4 && doc.FromInstrument() && !doc.Busy());
    }
}

TEST_F(Document, DeleteFromAFileListAndFromTheInstrument) {
    // A list from a file: only the list changes.
    ASSERT_TRUE(doc.OpenFile(WriteFile("five.zmk", 5)).linesChanged);
    EXPECT_EQ(doc.Delete({2, 1}).panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Lines(), Lines({50, 53, 54}));
    EXPECT_EQ(doc.Delete({0, 1, 2}).panel, PanelAction::Clear);
    EXPECT_TRUE(doc.Modified() && instrument.log.empty());

    // From the instrument: the number sent is the record's place after the earlier removals.
    GetRecords(5);
    doc.Delete({1, 2});
    EXPECT_EQ(instrument.log, (Strings{"delete 1", "delete 1"}));
    EXPECT_EQ(instrument.records, (std::vector<MeasurementRecord>{Rec(0), Rec(3), Rec(4)}));
    EXPECT_EQ(doc.Lines(), Lines({0, 3, 4}));

    // A refused deletion ends the pass; that line and the later ones stay. Without a port nothing leaves.
    for (int refusal : {1, -1}) {
        GetRecords(5);
        instrument.deleteResults = {{2, static_cast<std::uint8_t>(refusal)}};
        if (refusal < 0) doc.SetInstrument(nullptr);
        EXPECT_EQ(doc.Delete({1, 3, 4}).panel, PanelAction::ShowFirst);
        EXPECT_EQ(instrument.log, (refusal < 0 ? Strings{} : Strings{"delete 1", "delete 2"}));
        const int failed = refusal < 0 ? 1 : 3;
        EXPECT_EQ(prompt.Texts(), Strings{"Ошибка удаления файла " + Name(failed) + " !"});
        EXPECT_EQ(doc.Lines(), refusal < 0 ? Lines({0, 1, 2, 3, 4}) : Lines({0, 2, 3, 4}));
    }
}

TEST_F(Document, OpenAndSaveCarryTheHeaderAndKeepFlagsAndTitle) {
    doc.SetStartFolder(dir.Path());
    prompt.files = {std::nullopt, dir.File("missing.zmk")};
    EXPECT_FALSE(doc.Open().linesChanged || doc.Open().linesChanged ||
                 prompt.fileRequests.at(0).startFolder != dir.Path());
    EXPECT_EQ(prompt.Texts(), Strings{"Не могу открыть файл missing.zmk !"});

    // Open, rename (padded, never sent), Save: the same file without a dialog, header bytes 1..31 kept.
    const std::string a = WriteFile("a.zmk", 3);
    const std::string aBytes = ReadWholeFile(a);
    prompt.files.push_back(a);
    EXPECT_EQ(doc.Open().panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Title(), "Zemrik   [a.zmk]");
    prompt.names = {std::nullopt, "AB"};
    EXPECT_FALSE(doc.Rename(0) || doc.Modified() || doc.Rename(3));  // cancelled; no record 3
    ASSERT_TRUE(doc.Rename(0) && doc.Save());
    EXPECT_EQ(prompt.nameRequests, (Strings{"ЗАП 50", "ЗАП 50"}));
    EXPECT_EQ(prompt.fileRequests.size(), 3u);
    EXPECT_EQ(ReadWholeFile(a), aBytes.substr(0, 32) + "AB" + std::string(12, ' ') + aBytes.substr(46));

    // After a Get, Save As asks in the folder of the file opened; the header travels on.
    GetRecords(2);
    prompt.files.push_back(dir.File("b.zmk"));
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(prompt.fileRequests.at(0).startFolder, dir.Path());
    EXPECT_EQ(ReadWholeFile(dir.File("b.zmk")).substr(0, 32), '\x02' + aBytes.substr(1, 31));
    EXPECT_EQ(doc.Title(), "Zemrik   [b.zmk]");
    // Saved, the list no longer speaks for the instrument: Delete stays local, Save needs no dialog.
    doc.Delete({0});
    ASSERT_TRUE(doc.Save());
    EXPECT_TRUE(instrument.log.empty() && prompt.fileRequests.size() == 1u);
    EXPECT_EQ(ReadWholeFile(dir.File("b.zmk")).size(), 32u + 256);
}

TEST_F(Document, CloseQueryLetsTheWindowGoOnlyWithTheListSafe) {
    const std::string question = "Файл не сохранен! Сохранить?";
    // answer, the save dialog's answer, closes; a failed save adds its message
    const std::tuple<PromptAnswer, std::optional<std::string>, bool> cases[] = {
        {PromptAnswer::No, std::nullopt, true},      {PromptAnswer::Cancel, std::nullopt, false},
        {PromptAnswer::Yes, std::nullopt, false},  // the save dialog cancelled
        {PromptAnswer::Yes, "missing/x.zmk", false}, {PromptAnswer::Yes, "saved.zmk", true},
    };
    for (const auto& [answer, file, closes] : cases) {
        GetRecords(2);
        prompt.answers.push_back(answer);
        if (answer == PromptAnswer::Yes) prompt.files.push_back(file ? std::optional(dir.File(*file)) : file);
        EXPECT_EQ(doc.CloseQuery(), closes);
        EXPECT_EQ(prompt.Texts().at(0), question);
        EXPECT_EQ(prompt.Texts().size(), file && !closes ? 2u : 1u);
    }
    EXPECT_EQ(ReadWholeFile(dir.File("saved.zmk")).size(), 32u + 2 * 256);
    // Saved: no question. While an exchange runs the window stays, without one.
    EXPECT_TRUE(doc.CloseQuery());
    instrument.busy = true;
    EXPECT_FALSE(doc.CloseQuery());
    EXPECT_EQ(prompt.messages.size(), 1u);
}

}  // namespace
}  // namespace zemrik
