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
using Shown = test::ScriptedPrompt::Shown;
using Icon = PromptIcon;
using Buttons = PromptButtons;

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
    // A fresh Get of records 0..n-1; unsaved changes before it are dropped.
    void GetRecords(int n) {
        instrument = {};
        for (int i = 0; i < n; ++i) instrument.records.push_back(Rec(i));
        doc.SetInstrument(&instrument);
        if (doc.Modified()) prompt.answers.push_back(PromptAnswer::No);
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

// A Get that reads no record gives the old list back with its file, title and flags; one that
// stops at record k (a failure or a cancel) keeps records 0..k-1. A cancel shows no message.
TEST_F(Document, GetFailuresAndCancelsKeepWhatTheyMust) {
    const std::string path = WriteFile("old.zmk", 2);
    const Shown rootError{"Ошибка при чтении RootTable.", "Ошибка", Icon::Error, Buttons::Ok};
    const Shown noFiles{"В памяти прибора нет файлов!", "Информация", Icon::Information, Buttons::Ok};
    const auto readError = [](int i) {
        return Shown{"Ошибка чтения файла " + Name(i) + "!", "Ошибка", Icon::Error, Buttons::Ok};
    };
    struct Case {
        std::function<void()> arrange;
        std::vector<Shown> shown;
        int kept;  // records of the Get kept; 0: the file's list is back
        std::string status;
    };
    const auto cancelAt = [&](std::string command) {
        return [&, command] {
            instrument.during = [&, command](const std::string& entry) {
                if (entry == command) doc.Cancel();
            };
        };
    };
    const Case cases[] = {
        {[&] { instrument.rootResult = 1; }, {rootError}, 0, ""},
        {[&] { instrument.records.clear(); }, {noFiles}, 0, ""},
        {[&] { instrument.readFailures[0] = 1; }, {readError(0)}, 0, "Считано 0 из 4: ошибка чтения"},
        {[&] { instrument.readFailures[2] = 1; }, {readError(2)}, 2, "Считано 2 из 4: ошибка чтения"},
        {cancelAt("root"), {}, 0, ""},
        {cancelAt("read 0"), {}, 0, "Считано 0 из 4: отменено"},
        {cancelAt("read 2"), {}, 2, "Считано 2 из 4: отменено"},
    };
    for (const Case& c : cases) {
        GetRecords(4);
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        c.arrange();
        const CommandResult result = doc.Get();
        EXPECT_EQ(prompt.messages, c.shown);
        EXPECT_EQ(observer.shownAtEnd, 0u) << "a message comes after the exchange";
        EXPECT_EQ(doc.Lines(), c.kept > 0 ? Lines({0, 1}) : Lines({50, 51}));
        EXPECT_EQ(result.linesChanged, c.kept > 0);
        EXPECT_EQ(result.panel, c.kept > 0 ? PanelAction::ShowFirst : PanelAction::Leave);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(doc.Modified() && doc.FromInstrument(), c.kept > 0);
        EXPECT_EQ(doc.Modified() || doc.FromInstrument(), c.kept > 0);
        EXPECT_EQ(doc.Title(), c.kept > 0 ? "Zemrik" : "Zemrik   [old.zmk]");
        EXPECT_EQ(doc.FileName(), path);
        EXPECT_FALSE(doc.Busy());
    }
    // A whole Get says how many it read.
    instrument.during = nullptr;
    instrument.readFailures.clear();
    prompt.answers.push_back(PromptAnswer::No);
    EXPECT_EQ(doc.Get().status, "Считано записей: 4");
}

// Get and Open replace the list: unsaved changes are asked about first, as when closing.
TEST_F(Document, GetAndOpenAskBeforeReplacingUnsavedWork) {
    const std::string path = WriteFile("other.zmk", 2);
    const Shown question{"Файл не сохранен! Сохранить?", "Сообщение", Icon::Information,
                         Buttons::YesNoCancel};
    // answer, the save dialog's answer, whether the command goes on
    const std::tuple<PromptAnswer, std::optional<std::string>, bool> cases[] = {
        {PromptAnswer::No, std::nullopt, true},
        {PromptAnswer::Cancel, std::nullopt, false},
        {PromptAnswer::Yes, std::nullopt, false},  // the save dialog cancelled
        {PromptAnswer::Yes, "kept.zmk", true},
    };
    for (const bool open : {false, true}) {
        for (const auto& [answer, file, goesOn] : cases) {
            GetRecords(3);
            doc.Delete({2});  // a change: two records left, unsaved
            prompt = {};
            instrument.log.clear();
            instrument.records.resize(1);
            prompt.answers.push_back(answer);
            if (answer == PromptAnswer::Yes)
                prompt.files.push_back(file ? std::optional(dir.File(*file)) : file);
            if (open) prompt.files.push_back(path);
            const CommandResult result = open ? doc.Open() : doc.Get();
            EXPECT_EQ(prompt.messages.at(0), question);
            EXPECT_EQ(result.linesChanged, goesOn);
            const int count = goesOn ? (open ? 2 : 1) : 2;
            EXPECT_EQ(doc.Count(), count);
            EXPECT_EQ(doc.Lines().at(0), goesOn && open ? Lines({50}).at(0) : Lines({0}).at(0));
            if (file) {
                EXPECT_EQ(ReadWholeFile(dir.File(*file)).size(), 32u + 2 * 256);
            }
            if (!goesOn) {
                EXPECT_TRUE(instrument.log.empty() && doc.Modified());
            }
        }
    }
}

TEST_F(Document, PutWritesSelectedLinesInOrderUntilTheFirstFailure) {
    const Shown question{"Записать в прибор?", "Запись", Icon::Question, Buttons::YesNo};
    const Shown fail1{"Ошибка записи файла " + Name(1) + " !", "Запись", Icon::Error, Buttons::Ok};
    const Shown noRoom{"Нет места для записи!", "Запись", Icon::Error, Buttons::Ok};
    // reply codes (-1: no port, -2: cancelled during the second write), written, failure, status
    const std::tuple<std::vector<int>, Strings, std::optional<Shown>, std::string> cases[] = {
        {{}, {Name(1), Name(3)}, std::nullopt, "Записано записей: 2"},
        {{1}, {Name(1)}, fail1, "Записано 0 из 2: ошибка записи"},
        {{0, 2}, {Name(1), Name(3)}, noRoom, "Записано 1 из 2: нет места"},
        {{-1}, {}, fail1, "Записано 0 из 2: ошибка записи"},
        {{-2}, {Name(1), Name(3)}, std::nullopt, "Записано 1 из 2: отменено"},
    };
    for (const auto& [results, written, failure, status] : cases) {
        GetRecords(4);
        prompt.answers.push_back(PromptAnswer::Yes);
        for (int r : results)
            if (r >= 0) instrument.writeResults.push_back(static_cast<std::uint8_t>(r));
        if (results == std::vector<int>{-1}) doc.SetInstrument(nullptr);
        if (results == std::vector<int>{-2}) {
            instrument.during = [&](const std::string& entry) {
                if (entry.rfind("write " + Utf8ToAnsi(Name(3)), 0) == 0) doc.Cancel();
            };
        }
        EXPECT_EQ(doc.Put({3, 1}).status, status);
        Strings writes;
        for (const std::string& name : written) writes.push_back("write " + Utf8ToAnsi(name));
        std::vector<Shown> shown{question};
        if (failure) shown.push_back(*failure);
        EXPECT_EQ(instrument.log, writes);
        EXPECT_EQ(prompt.messages, shown);
        EXPECT_TRUE(doc.Count() == 4 && doc.FromInstrument() && !doc.Busy());
    }
    // No: nothing is written, nothing reported.
    GetRecords(2);
    prompt.answers.push_back(PromptAnswer::No);
    EXPECT_EQ(doc.Put({0}).status, "");
    EXPECT_TRUE(instrument.log.empty());
}

TEST_F(Document, DeleteFromAFileListAndFromTheInstrument) {
    // A list from a file: only the list changes; a line that is not there is no line.
    ASSERT_TRUE(doc.OpenFile(WriteFile("five.zmk", 5)).linesChanged);
    const CommandResult local = doc.Delete({2, 1, 5});
    EXPECT_TRUE(local.panel == PanelAction::ShowFirst && local.status == "Удалено записей: 2");
    EXPECT_EQ(doc.Lines(), Lines({50, 53, 54}));
    EXPECT_EQ(doc.Delete({}).status, "");  // nothing selected: modified, nothing reported
    EXPECT_EQ(doc.Delete({0, 1}).panel, PanelAction::ShowFirst);  // one line left to show
    EXPECT_EQ(doc.Delete({0}).panel, PanelAction::Clear);
    EXPECT_TRUE(doc.Modified() && instrument.log.empty());

    // From the instrument: the directory is read again first; the number sent is the record's
    // place after the earlier removals.
    GetRecords(5);
    EXPECT_EQ(doc.Delete({1, 2}).status, "Удалено записей: 2");
    EXPECT_EQ(instrument.log, (Strings{"root", "delete 1", "delete 1"}));
    EXPECT_EQ(instrument.records, (std::vector<MeasurementRecord>{Rec(0), Rec(3), Rec(4)}));
    EXPECT_EQ(doc.Lines(), Lines({0, 3, 4}));

    // A refused deletion (or a cancel) ends the pass; that line and the later ones stay.
    for (const bool cancel : {false, true}) {
        GetRecords(5);
        if (cancel) {
            instrument.during = [&](const std::string& entry) {
                if (entry == "delete 2") doc.Cancel();
            };
        } else {
            instrument.deleteResults = {{2, 1}};
        }
        const CommandResult result = doc.Delete({1, 3, 4});
        EXPECT_EQ(result.panel, PanelAction::ShowFirst);
        EXPECT_EQ(result.status, cancel ? "Удалено 1 из 3: отменено" : "Удалено 1 из 3: ошибка удаления");
        EXPECT_EQ(instrument.log, (Strings{"root", "delete 1", "delete 2"}));
        const Shown refused{"Ошибка удаления файла " + Name(3) + " !", "Удаление", Icon::Error, Buttons::Ok};
        EXPECT_EQ(prompt.messages, cancel ? std::vector<Shown>{} : std::vector<Shown>{refused});
        EXPECT_EQ(doc.Lines(), Lines({0, 2, 3, 4}));
    }

    // Without a port nothing is deleted, from the instrument or from the list.
    GetRecords(3);
    doc.SetInstrument(nullptr);
    EXPECT_FALSE(doc.Delete({1}).linesChanged);
    const Shown portClosed{"COM порт не открыт!", "Удаление", Icon::Error, Buttons::Ok};
    EXPECT_EQ(prompt.messages, std::vector<Shown>{portClosed});
    EXPECT_EQ(doc.Lines(), Lines({0, 1, 2}));
}

// Numbers sent to the instrument must still name the records the lines were read from: the
// directory is read again and compared with the entries as the Get read them (shifted for the
// deletions made since); a rename in the list is no change of the instrument.
TEST_F(Document, DeleteFromTheInstrumentRefusesWhenItsMemoryChanged) {
    const Shown changed{"Записи в приборе изменились после чтения. Считайте записи заново.", "Удаление",
                        Icon::Warning, Buttons::Ok};
    struct Case {
        std::function<void()> meanwhile;
        bool deletes;
    };
    const Case cases[] = {
        {[] {}, true},
        {[&] { instrument.records.push_back(Rec(9)); }, true},  // measured since: at the end
        {[&] {
             prompt.names.push_back("НОВОЕ");
             ASSERT_TRUE(doc.Rename(2));
         },
         true},
        {[&] { instrument.records.erase(instrument.records.begin()); }, false},  // deleted on its keys
        {[&] { instrument.records[2] = Rec(7); }, false},                        // another record in place 2
        {[&] { instrument.records.resize(2); }, false},                          // gone from the end
    };
    for (const Case& c : cases) {
        GetRecords(4);
        doc.Delete({0});  // a deletion before: the entries shift with it
        c.meanwhile();
        prompt = {};
        instrument.log.clear();
        const CommandResult result = doc.Delete({1, 2});
        EXPECT_EQ(instrument.log, (c.deletes ? Strings{"root", "delete 1", "delete 1"} : Strings{"root"}));
        EXPECT_EQ(prompt.messages, c.deletes ? std::vector<Shown>{} : std::vector<Shown>{changed});
        EXPECT_EQ(doc.Count(), c.deletes ? 1 : 3);
        EXPECT_EQ(result.linesChanged, c.deletes);
    }
    // The directory cannot be read: nothing is deleted.
    GetRecords(3);
    instrument.rootResult = 1;
    doc.Delete({0});
    const Shown rootError{"Ошибка при чтении RootTable.", "Удаление", Icon::Error, Buttons::Ok};
    EXPECT_EQ(prompt.messages, std::vector<Shown>{rootError});
    EXPECT_EQ(doc.Count(), 3);

    // zemrik-cli's delete checks the names it is told, each as its number names it in turn.
    GetRecords(4);
    EXPECT_EQ(doc.DeleteInstrumentRecords({1, 1}, {"ЗАП 2", "ЗАП 2"}).status, "");
    EXPECT_EQ(prompt.messages, std::vector<Shown>{changed});
    // A number past the directory names nothing, not even an empty name.
    EXPECT_EQ(doc.DeleteInstrumentRecords({4}, {""}).status, "");
    EXPECT_EQ(prompt.messages, (std::vector<Shown>{changed, changed}));
    EXPECT_EQ(doc.DeleteInstrumentRecords({1, 1}, {"ЗАП 1", "ЗАП 2"}).status, "Удалено записей: 2");
    EXPECT_EQ(instrument.log, (Strings{"root", "root", "root", "delete 1", "delete 1"}));
    // A refused deletion is told after the exchange, with what was done.
    instrument.deleteResults = {{0, 1}};
    EXPECT_EQ(doc.DeleteInstrumentRecords({1, 0}).status, "Удалено 1 из 2: ошибка удаления");
    EXPECT_EQ(observer.shownAtEnd, 2u);  // the two refusals above, not this one yet
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
