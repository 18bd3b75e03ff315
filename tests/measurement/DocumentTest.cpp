#include "measurement/MeasurementDocument.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

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
// Record i's 14-character name column (UTF-8).
std::string Name(int i) { return "ЗАП " + std::to_string(i) + std::string(9, ' '); }

// Logs the exchange's events; "end N": N messages had been shown when it ended.
struct Recorder : ExchangeObserver {
    Strings events;
    std::function<void()> during;  // runs after every record a Get reads
    test::ScriptedPrompt* prompt = nullptr;
    void ExchangeStarted() override { events.push_back("start"); }
    void ReadingStarted(int total) override { events.push_back("reading " + std::to_string(total)); }
    void RecordRead(int i, int) override {
        events.push_back("read " + std::to_string(i));
        if (during) during();
    }
    void ExchangeEnded() override { events.push_back("end " + std::to_string(prompt->messages.size())); }
};

class Document : public testing::Test {
protected:
    void SetUp() override {
        observer.prompt = &prompt;
        doc.SetObserver(&observer);
    }
    // A fresh prompt and a list of n records read from the instrument, logs cleared.
    void GetRecords(int n) {
        instrument = {};
        for (int i = 0; i < n; ++i) instrument.records.push_back(Rec(i));
        doc.SetInstrument(&instrument);
        ASSERT_EQ(doc.Get().panel, PanelAction::ShowFirst);
        instrument.log.clear();
        observer.events.clear();
        prompt = {};
    }
    // A file of records 50, 51, ... with header bytes that differ from one another.
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
    // "caption|icon|text" of every message shown.
    Strings Shown() const {
        Strings shown;
        for (const auto& m : prompt.messages)
            shown.push_back(m.caption + "|" + std::to_string(static_cast<int>(m.icon)) + "|" + m.text);
        return shown;
    }
    static std::string Error(const std::string& caption, const std::string& text) {
        return caption + "|" + std::to_string(static_cast<int>(PromptIcon::Error)) + "|" + text;
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
    EXPECT_FALSE(doc.Commands(false).get || doc.Commands(true).put || doc.Commands(true).save);
    int probes = 0;
    observer.during = [&] {
        // Whatever events processed inside the exchange ask for is refused without a question.
        EXPECT_FALSE(doc.Get().linesChanged || doc.Delete({0}).linesChanged || doc.Open().linesChanged ||
                     doc.Save() || doc.Rename(0) || doc.CloseQuery());
        const CommandStates s = doc.Commands(true);
        EXPECT_FALSE(s.open || s.save || s.get || s.put || s.del || s.rename || s.cables || s.comPort ||
                     s.about || s.exit);
        ++probes;
    };
    GetRecords(3);
    EXPECT_EQ(probes, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(doc.Record(i), Rec(i));
    EXPECT_EQ(doc.Lines(), Lines({0, 1, 2}));
    EXPECT_EQ(doc.Line(1), Name(1) + std::string(8, ' ') + "dR");
    EXPECT_TRUE(doc.Modified() && doc.FromInstrument() && !doc.Busy());
    const CommandStates s = doc.Commands(true);
    EXPECT_TRUE(s.save && s.put && s.del && s.rename && s.open && s.about && s.exit);

    observer.during = nullptr;
    doc.Get();
    EXPECT_EQ(instrument.log, (Strings{"root", "read 0", "read 1", "read 2"}));
    EXPECT_EQ(observer.events, (Strings{"start", "reading 3", "read 0", "read 1", "read 2", "end 0"}));
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Document, GetFailuresKeepWhatTheyMust) {
    const std::string rootError = Error("Ошибка", "Ошибка при чтении RootTable.");
    const std::tuple<std::function<void()>, std::string, int> cases[] = {
        // count -1: the file stays
        {[&] { instrument.rootResult = 1; }, rootError, -1},
        {[&] { doc.SetInstrument(nullptr); }, rootError, -1},
        {[&] { instrument.records.clear(); }, "Информация|1|В памяти прибора нет файлов!", -1},
        {[&] { instrument.readFailures[0] = 1; }, Error("Ошибка", "Ошибка чтения файла " + Name(0) + "!"), 0},
        {[&] { instrument.readFailures[2] = 1; }, Error("Ошибка", "Ошибка чтения файла " + Name(2) + "!"), 2},
    };
    const std::string path = WriteFile("old.zmk", 2);
    for (const auto& [arrange, shown, count] : cases) {
        SCOPED_TRACE(shown + " " + std::to_string(count));
        GetRecords(4);
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        arrange();
        const CommandResult result = doc.Get();
        EXPECT_EQ(Shown(), Strings{shown});
        EXPECT_EQ(observer.events.back(), "end 0") << "the message comes after the exchange";
        std::vector<int> kept(static_cast<std::size_t>(std::max(count, 0)));
        std::iota(kept.begin(), kept.end(), 0);
        // Records read before the failure stay, numbered as the instrument numbers them.
        EXPECT_EQ(doc.Lines(), count < 0 ? Lines({50, 51}) : Lines(kept));
        EXPECT_EQ(result.panel, count < 0 ? PanelAction::Leave
                                : count   ? PanelAction::ShowFirst
                                          : PanelAction::Clear);
        EXPECT_EQ(doc.Modified() && doc.FromInstrument(), count >= 0);
    }
}

TEST_F(Document, PutWritesSelectedLinesInOrderUntilTheFirstFailure) {
    const std::string fail1 = Error("Запись", "Ошибка записи файла " + Name(1) + " !");
    const std::tuple<PromptAnswer, std::vector<std::uint8_t>, std::vector<int>, std::vector<int>, std::string>
        cases[] = {
            // answer, reply codes, selected, written, failure
            {PromptAnswer::Yes, {}, {3, 1}, {1, 3}, ""},
            {PromptAnswer::Yes, {1}, {3, 1}, {1}, fail1},
            {PromptAnswer::Yes,
             {0, 1},
             {1, 3},
             {1, 3},
             Error("Запись", "Ошибка записи файла " + Name(3) + " !")},
            {PromptAnswer::Yes, {2}, {1, 3}, {1}, Error("Запись", "Нет места для записи!")},
            {PromptAnswer::Yes, {3}, {1, 3}, {1, 3}, ""},  // other answers go on
            {PromptAnswer::No, {}, {1, 3}, {}, ""},
            {PromptAnswer::Yes, {}, {}, {}, ""},
            {PromptAnswer::Yes, {}, {3, 1}, {}, fail1},  // no port
        };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& [answer, results, selected, written, failure] = cases[k];
        SCOPED_TRACE(k);
        GetRecords(4);
        prompt.answers.push_back(answer);
        instrument.writeResults = results;
        if (k + 1 == std::size(cases)) doc.SetInstrument(nullptr);
        doc.Put(selected);
        Strings writes, shown{"Запись|2|Записать в прибор?"};
        for (int i : written) writes.push_back("write " + Utf8ToAnsi(Name(i)));
        if (!failure.empty()) shown.push_back(failure);
        EXPECT_EQ(instrument.log, writes);
        EXPECT_EQ(Shown(), shown);
        // Put changes neither the list nor the flags.
        EXPECT_EQ(doc.Lines(), Lines({0, 1, 2, 3}));
        EXPECT_TRUE(doc.Modified() && doc.FromInstrument() && !doc.Busy());
    }
}

TEST_F(Document, DeleteFromAFileListAndFromTheInstrument) {
    // A list from a file: only the list changes.
    ASSERT_TRUE(doc.OpenFile(WriteFile("five.zmk", 5)).linesChanged);
    EXPECT_EQ(doc.Delete({2, 1}).panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Lines(), Lines({50, 53, 54}));
    EXPECT_EQ(doc.Delete({0, 1, 2}).panel, PanelAction::Clear);
    EXPECT_TRUE(doc.Modified() && instrument.log.empty() && observer.events.empty());

    // From the instrument: the number sent is the record's place after the earlier removals.
    GetRecords(5);
    doc.Delete({1, 2});
    EXPECT_EQ(instrument.log, (Strings{"delete 1", "delete 1"}));
    EXPECT_EQ(instrument.records, (std::vector<MeasurementRecord>{Rec(0), Rec(3), Rec(4)}));
    EXPECT_EQ(doc.Lines(), Lines({0, 3, 4}));

    // A refused or unanswered deletion ends the pass; that line and the later ones stay. With the
    // port closed nothing leaves.
    for (int refusal : {1, 2, -1}) {
        GetRecords(5);
        instrument.deleteResults = {{2, static_cast<std::uint8_t>(refusal)}};
        if (refusal < 0) doc.SetInstrument(nullptr);
        EXPECT_EQ(doc.Delete({1, 3, 4}).panel, PanelAction::ShowFirst);
        EXPECT_EQ(instrument.log, (refusal < 0 ? Strings{} : Strings{"delete 1", "delete 2"}));
        const int failed = refusal < 0 ? 1 : 3;
        EXPECT_EQ(Shown(), Strings{Error("Удаление", "Ошибка удаления файла " + Name(failed) + " !")});
        EXPECT_EQ(doc.Lines(), refusal < 0 ? Lines({0, 1, 2, 3, 4}) : Lines({0, 2, 3, 4}));
        EXPECT_TRUE(doc.Modified());
    }
}

// zemrik-cli's delete by instrument number: a list from the instrument keeps its lines in step.
TEST_F(Document, DeletingInstrumentRecordsByNumberKeepsAnInstrumentListInStep) {
    GetRecords(5);
    instrument.deleteResults = {{2, 1}};
    EXPECT_EQ(doc.DeleteInstrumentRecords({1, 1, 2}), 2);
    EXPECT_EQ(instrument.log, (Strings{"root", "delete 1", "delete 1", "delete 2"}));
    EXPECT_EQ(Shown(), Strings{Error("Удаление", "Ошибка удаления файла " + Name(4) + " !")});
    EXPECT_EQ(observer.events, (Strings{"start", "end 0"}));
    EXPECT_EQ(doc.Lines(), Lines({0, 3, 4}));
}

TEST_F(Document, RenameStoresAPaddedNameAndNeverReachesTheInstrument) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"AB", "AB" + std::string(12, ' ')},
        {"ЖУК-2", "ЖУК-2" + std::string(9, ' ')},
        {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMN"},
        {std::nullopt, ""},  // cancelled: nothing changes
    };
    const std::string path = WriteFile("two.zmk", 2);
    for (const auto& [answer, stored] : cases) {
        prompt = {};
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        prompt.names.push_back(answer);
        EXPECT_EQ(doc.Rename(1), !stored.empty());
        EXPECT_EQ(prompt.nameRequests, Strings{"ЗАП 51"});
        MeasurementRecord expected = Rec(51);
        const std::string field = Utf8ToAnsi(stored);
        std::copy(field.begin(), field.end(), expected.begin());
        EXPECT_EQ(doc.Record(1), expected) << stored;
        EXPECT_EQ(doc.Modified(), !stored.empty());
    }
    EXPECT_FALSE(doc.Rename(2) || doc.Rename(-1));
    EXPECT_TRUE(instrument.log.empty());
}

TEST_F(Document, OpenAndSaveCarryTheHeaderAndKeepFlagsAndTitle) {
    doc.SetStartFolder(dir.Path());
    prompt.files = {std::nullopt, dir.File("missing.zmk")};
    EXPECT_FALSE(doc.Open().linesChanged || doc.Open().linesChanged);
    const FileDialogRequest& open = prompt.fileRequests.at(0);
    EXPECT_EQ(open.filter + " " + open.startFolder, "Measure Results(*.zmk) " + dir.Path());
    EXPECT_EQ(Shown(), Strings{Error("Ошибка чтения", "Не могу открыть файл missing.zmk !")});

    // Open, rename, Save: the same file without a dialog, header bytes 1..31 as they came.
    const std::string a = WriteFile("a.zmk", 3);
    const std::string aBytes = ReadWholeFile(a);
    prompt.files.push_back(a);
    EXPECT_EQ(doc.Open().panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Title(), "Zemrik   [a.zmk]");
    prompt.names.push_back("NEW");
    ASSERT_TRUE(doc.Rename(0) && doc.Save());
    EXPECT_EQ(prompt.fileRequests.size(), 3u);
    EXPECT_EQ(ReadWholeFile(a), aBytes.substr(0, 32) + "NEW" + std::string(11, ' ') + aBytes.substr(46));

    // After a Get, Save asks for a name in the folder of the file opened; the header travels on.
    GetRecords(2);
    EXPECT_EQ(doc.Title(), "Zemrik");
    prompt.files.push_back(dir.File("b.zmk"));
    ASSERT_TRUE(doc.Save());
    const FileDialogRequest& save = prompt.fileRequests.at(0);
    EXPECT_TRUE(save.kind == FileDialogRequest::Kind::Save && save.confirmOverwrite);
    EXPECT_EQ(save.startFolder, dir.Path() + "/");
    EXPECT_EQ(ReadWholeFile(dir.File("b.zmk")).substr(0, 32), '\x02' + aBytes.substr(1, 31));
    EXPECT_EQ(doc.Title(), "Zemrik   [b.zmk]");
    // Saved, the list no longer speaks for the instrument: Delete stays local, Save needs no dialog.
    doc.Delete({0});
    ASSERT_TRUE(doc.Save());
    EXPECT_TRUE(instrument.log.empty() && prompt.fileRequests.size() == 1u);
    EXPECT_EQ(ReadWholeFile(dir.File("b.zmk")).size(), 32u + 256);

    // A file without records: the list empties, the panel stays.
    const CommandResult none = doc.OpenFile(WriteFile("empty.zmk", 0));
    EXPECT_TRUE(none.linesChanged && none.panel == PanelAction::Leave && doc.Count() == 0);

    // A list changed before any file was opened has no name to save under: Save asks for one.
    MeasurementDocument fresh(prompt);
    fresh.Delete({});
    prompt.files.push_back(dir.File("fresh.zmk"));
    EXPECT_TRUE(fresh.Save());
    EXPECT_EQ(ReadWholeFile(dir.File("fresh.zmk")), std::string(32, '\0'));
}

TEST_F(Document, CloseQueryLetsTheWindowGoOnlyWithTheListSafe) {
    const std::string question = "Сообщение|1|Файл не сохранен! Сохранить?";
    const std::string failed = Error("Ошибка записи", "Не могу записать файл x.zmk !");
    const std::tuple<bool, PromptAnswer, std::optional<std::string>, Strings, bool> cases[] = {
        // modified, answer, the save dialog's answer, messages, closes
        {false, PromptAnswer::Yes, std::nullopt, {}, true},
        {true, PromptAnswer::No, std::nullopt, {question}, true},
        {true, PromptAnswer::Cancel, std::nullopt, {question}, false},
        {true, PromptAnswer::Yes, "saved.zmk", {question}, true},
        {true, PromptAnswer::Yes, std::nullopt, {question}, false},
        {true, PromptAnswer::Yes, "missing/x.zmk", {question, failed}, false},
    };
    for (const auto& [modified, answer, file, shown, closes] : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(answer) << " " << file.value_or("-"));
        GetRecords(2);
        if (!modified) {
            prompt.files.push_back(dir.File("first.zmk"));
            ASSERT_TRUE(doc.Save());
            prompt = {};
        }
        prompt.answers.push_back(answer);
        if (modified && answer == PromptAnswer::Yes)
            prompt.files.push_back(file ? std::optional(dir.File(*file)) : std::nullopt);
        EXPECT_EQ(doc.CloseQuery(), closes);
        EXPECT_EQ(Shown(), shown);
        EXPECT_TRUE(prompt.messages.empty() || prompt.messages[0].buttons == PromptButtons::YesNoCancel);
        EXPECT_EQ(doc.Count(), 2);
        if (file && closes) {
            EXPECT_EQ(ReadWholeFile(dir.File(*file)).size(), 32u + 2 * 256);
        }
    }
    // While an exchange runs the window stays, without a question.
    instrument.busy = true;
    prompt = {};
    EXPECT_FALSE(doc.CloseQuery());
    EXPECT_TRUE(prompt.messages.empty());
}

}  // namespace
}  // namespace zemrik
