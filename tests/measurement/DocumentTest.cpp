#include "measurement/MeasurementDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
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
std::string Name(int i) { return "ЗАП " + std::to_string(i) + std::string(i < 10 ? 9 : 8, ' '); }

// The fake instrument, with a busy flag and a directory count it can be told to report.
struct TestInstrument : test::FakeInstrument {
    bool busy = false;
    int forcedRootCount = -1;
    mutable RootTable forced;
    bool Busy() const override { return busy; }
    const RootTable& GetRootTable() const override {
        forced = FakeInstrument::GetRootTable();
        if (forcedRootCount >= 0) forced.count = static_cast<std::uint8_t>(forcedRootCount);
        return forced;
    }
};

// Logs the exchange's events and how many messages had been shown when it ended.
struct Recorder : ExchangeObserver {
    Strings events;
    std::function<void()> during;  // runs after every record a Get reads
    std::size_t messagesAtEnd = 0;
    test::ScriptedPrompt* prompt = nullptr;
    void ExchangeStarted() override { events.push_back("start"); }
    void ReadingStarted(int total) override { events.push_back("reading " + std::to_string(total)); }
    void RecordRead(int i, int) override {
        events.push_back("read " + std::to_string(i));
        if (during) during();
    }
    void ExchangeEnded() override {
        events.push_back("end");
        messagesAtEnd = prompt->messages.size();
    }
};

class Document : public testing::Test {
protected:
    void SetUp() override {
        observer.prompt = &prompt;
        doc.SetInstrument(&instrument);
        doc.SetObserver(&observer);
    }
    void Fill(int n) {
        instrument.records.clear();
        for (int i = 0; i < n; ++i) instrument.records.push_back(Rec(i));
    }
    // A fresh prompt and a list of n records read from the instrument, logs cleared.
    void GetRecords(int n) {
        Fill(n);
        doc.SetInstrument(&instrument);
        ASSERT_EQ(doc.Get().panel, PanelAction::ShowFirst);
        instrument.log.clear();
        observer.events.clear();
        prompt = {};
    }
    // A file of records 50, 51, ... with a header of non-zero bytes.
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
    TestInstrument instrument;
    Recorder observer;
    MeasurementDocument doc{prompt};
};

TEST_F(Document, GetReadsEveryRecordAndRefusesEverythingUnderIt) {
    EXPECT_FALSE(doc.Commands(false).get || doc.Commands(true).put || doc.Commands(true).save);
    EXPECT_TRUE(doc.Commands(true).get);
    Fill(3);
    int probes = 0;
    observer.during = [&] {
        // Whatever events processed inside the exchange ask for is refused without a question.
        EXPECT_TRUE(doc.Busy());
        EXPECT_FALSE(doc.Get().linesChanged || doc.Delete({0}).linesChanged || doc.Open().linesChanged ||
                     doc.Save() || doc.Rename(0) || doc.CloseQuery());
        const CommandStates s = doc.Commands(true);
        EXPECT_FALSE(s.open || s.save || s.get || s.put || s.del || s.rename || s.cables || s.comPort ||
                     s.about || s.exit);
        ++probes;
    };
    const CommandResult result = doc.Get();
    EXPECT_EQ(probes, 3);
    EXPECT_TRUE(result.linesChanged);
    EXPECT_EQ(result.panel, PanelAction::ShowFirst);
    EXPECT_EQ(instrument.log, (Strings{"root", "read 0", "read 1", "read 2"}));
    EXPECT_EQ(observer.events, (Strings{"start", "reading 3", "read 0", "read 1", "read 2", "end"}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(doc.Record(i), Rec(i));
    EXPECT_EQ(doc.Lines(), Lines({0, 1, 2}));
    EXPECT_EQ(doc.Line(1), Name(1) + std::string(8, ' ') + "dR");
    EXPECT_TRUE(doc.Modified() && doc.FromInstrument() && !doc.Busy());
    const CommandStates s = doc.Commands(true);
    EXPECT_TRUE(s.save && s.put && s.del && s.rename && s.open && s.about && s.exit);
    EXPECT_EQ(doc.Title(), "Zemrik");
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Document, GetFailuresKeepWhatTheyMust) {
    const std::string rootError = Error("Ошибка", "Ошибка при чтении RootTable.");
    struct Case {
        std::function<void()> arrange;
        std::string shown;
        int count;  // -1: the opened file's list stays
    };
    const Case cases[] = {
        {[&] { instrument.rootResult = 1; }, rootError, -1},
        {[&] { doc.SetInstrument(nullptr); }, rootError, -1},
        {[&] { instrument.forcedRootCount = 201; }, rootError, -1},
        {[&] { Fill(0); }, "Информация|1|В памяти прибора нет файлов!", -1},
        {[&] { instrument.readFailures[0] = 1; }, Error("Ошибка", "Ошибка чтения файла " + Name(0) + "!"), 0},
        {[&] { instrument.readFailures[2] = 1; }, Error("Ошибка", "Ошибка чтения файла " + Name(2) + "!"), 2},
    };
    const std::string path = WriteFile("old.zmk", 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown + " " + std::to_string(c.count));
        prompt = {};
        instrument = TestInstrument{};
        doc.SetInstrument(&instrument);
        Fill(4);
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        c.arrange();

        const CommandResult result = doc.Get();
        EXPECT_EQ(Shown(), Strings{c.shown});
        EXPECT_EQ(observer.messagesAtEnd, 0u) << "the message comes after the exchange";
        if (c.count < 0) {
            EXPECT_FALSE(result.linesChanged);
            EXPECT_EQ(doc.Lines(), Lines({50, 51}));
            EXPECT_FALSE(doc.Modified() || doc.FromInstrument());
            EXPECT_EQ(doc.Title(), "Zemrik   [old.zmk]");
            continue;
        }
        // The records read before the failure stay, numbered as the instrument numbers them.
        EXPECT_EQ(result.panel, c.count > 0 ? PanelAction::ShowFirst : PanelAction::Clear);
        std::vector<int> kept(static_cast<std::size_t>(c.count));
        std::iota(kept.begin(), kept.end(), 0);
        EXPECT_EQ(doc.Lines(), Lines(kept));
        EXPECT_EQ(instrument.log.back(), "read " + std::to_string(c.count));
        EXPECT_TRUE(doc.Modified() && doc.FromInstrument());
        EXPECT_EQ(doc.Title(), "Zemrik");
        EXPECT_EQ(doc.FileName(), path);
    }
}

TEST_F(Document, PutWritesSelectedLinesInOrderUntilTheFirstFailure) {
    const std::string question = "Запись|2|Записать в прибор?";
    struct Case {
        PromptAnswer answer;
        std::vector<std::uint8_t> results;
        std::vector<int> selected, written;
        std::string failure;
        bool noPort = false;
    };
    const Case cases[] = {
        {PromptAnswer::Yes, {}, {3, 1}, {1, 3}, ""},
        {PromptAnswer::Yes, {1}, {3, 1}, {1}, Error("Запись", "Ошибка записи файла " + Name(1) + " !")},
        {PromptAnswer::Yes, {0, 1}, {1, 3}, {1, 3}, Error("Запись", "Ошибка записи файла " + Name(3) + " !")},
        {PromptAnswer::Yes, {2}, {1, 3}, {1}, Error("Запись", "Нет места для записи!")},
        {PromptAnswer::Yes, {3}, {1, 3}, {1, 3}, ""},  // other answers go on
        {PromptAnswer::No, {}, {1, 3}, {}, ""},
        {PromptAnswer::Yes, {}, {}, {}, ""},
        {PromptAnswer::Yes, {}, {3, 1}, {}, Error("Запись", "Ошибка записи файла " + Name(1) + " !"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.selected.size() << " selected, fails with " << c.failure);
        GetRecords(4);
        prompt.answers.push_back(c.answer);
        instrument.writeResults = c.results;
        if (c.noPort) doc.SetInstrument(nullptr);

        doc.Put(c.selected);
        Strings writes, shown{question};
        for (int i : c.written) writes.push_back("write " + Utf8ToAnsi(Name(i)));
        if (!c.failure.empty()) shown.push_back(c.failure);
        EXPECT_EQ(instrument.log, writes);
        EXPECT_EQ(Shown(), shown);
        // Put changes neither the list nor the flags.
        EXPECT_EQ(doc.Lines(), Lines({0, 1, 2, 3}));
        EXPECT_TRUE(doc.Modified() && doc.FromInstrument() && !doc.Busy());
    }
}

TEST_F(Document, DeleteFromAFileListAndFromTheInstrument) {
    // A list from a file: only the list changes, and Modified is set even with nothing selected.
    ASSERT_TRUE(doc.OpenFile(WriteFile("five.zmk", 5)).linesChanged);
    EXPECT_EQ(doc.Delete({}).panel, PanelAction::ShowFirst);
    EXPECT_TRUE(doc.Modified());
    EXPECT_EQ(doc.Delete({2, 1}).panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Lines(), Lines({50, 53, 54}));
    EXPECT_EQ(doc.Delete({0, 1, 2}).panel, PanelAction::Clear);
    EXPECT_FALSE(doc.Commands(true).save || doc.Commands(true).del);  // modified, nothing to save
    EXPECT_EQ(doc.Delete({}).panel, PanelAction::Clear);
    EXPECT_TRUE(instrument.log.empty() && observer.events.empty());

    // From the instrument: the number sent is the record's place after the earlier removals.
    GetRecords(5);
    doc.Delete({1, 2});
    EXPECT_EQ(instrument.log, (Strings{"delete 1", "delete 1"}));
    EXPECT_EQ(observer.events, (Strings{"start", "end"}));
    EXPECT_EQ(doc.Lines(), Lines({0, 3, 4}));
    EXPECT_EQ(instrument.records, (std::vector<MeasurementRecord>{Rec(0), Rec(3), Rec(4)}));

    // A refused or unanswered deletion ends the pass; that line and the later ones stay.
    for (std::uint8_t refusal : {1, 2}) {
        GetRecords(5);
        instrument.deleteResults = {{2, refusal}};
        EXPECT_EQ(doc.Delete({1, 3, 4}).panel, PanelAction::ShowFirst);
        EXPECT_EQ(instrument.log, (Strings{"delete 1", "delete 2"}));
        EXPECT_EQ(Shown(), Strings{Error("Удаление", "Ошибка удаления файла " + Name(3) + " !")});
        EXPECT_EQ(observer.messagesAtEnd, 0u);
        EXPECT_EQ(doc.Lines(), Lines({0, 2, 3, 4}));
        EXPECT_TRUE(doc.Modified());
    }
    // The port was closed after the Get: nothing can reach the instrument, nothing leaves.
    GetRecords(3);
    doc.SetInstrument(nullptr);
    doc.Delete({1});
    EXPECT_EQ(Shown(), Strings{Error("Удаление", "Ошибка удаления файла " + Name(1) + " !")});
    EXPECT_EQ(doc.Count(), 3);
}

// zemrik-cli's delete by instrument number: a list from the instrument keeps its lines in step.
TEST_F(Document, DeletingInstrumentRecordsByNumberKeepsAnInstrumentListInStep) {
    GetRecords(5);
    instrument.deleteResults = {{2, 1}};
    EXPECT_EQ(doc.DeleteInstrumentRecords({1, 1, 2}), 2);
    EXPECT_EQ(instrument.log, (Strings{"root", "delete 1", "delete 1", "delete 2"}));
    EXPECT_EQ(Shown(), Strings{Error("Удаление", "Ошибка удаления файла " + Name(4) + " !")});
    EXPECT_EQ(observer.messagesAtEnd, 0u);
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
        SCOPED_TRACE(stored);
        prompt = {};
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        prompt.names.push_back(answer);
        EXPECT_EQ(doc.Rename(1), !stored.empty());
        EXPECT_EQ(prompt.nameRequests, Strings{"ЗАП 51"});
        MeasurementRecord expected = Rec(51);
        const std::string field = Utf8ToAnsi(stored);
        std::copy(field.begin(), field.end(), expected.begin());
        EXPECT_EQ(doc.Record(1), expected);
        EXPECT_EQ(doc.Modified(), !stored.empty());
        EXPECT_EQ(doc.Commands(false).save, !stored.empty());
        EXPECT_TRUE(doc.Commands(false).put);
        if (!stored.empty()) {
            EXPECT_EQ(doc.Line(1), stored + std::string(8, ' ') + "Cx");
        }
    }
    EXPECT_FALSE(doc.Rename(2) || doc.Rename(-1));
    EXPECT_TRUE(instrument.log.empty());
}

TEST_F(Document, OpenAndSaveCarryTheHeaderAndKeepFlagsAndTitle) {
    doc.SetStartFolder(dir.Path());
    prompt.files.push_back(std::nullopt);
    EXPECT_FALSE(doc.Open().linesChanged);
    ASSERT_EQ(prompt.fileRequests.size(), 1u);
    const FileDialogRequest& open = prompt.fileRequests[0];
    EXPECT_EQ(open.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(open.filter + " " + open.defaultSuffix + " " + open.startFolder,
              "Measure Results(*.zmk) zmk " + dir.Path());
    EXPECT_FALSE(open.confirmOverwrite);

    // A file that cannot be read: the message, and only the save dialog's folder has moved.
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_FALSE(doc.OpenFile(dir.File("sub/missing.zmk")).linesChanged);
    EXPECT_EQ(Shown(), Strings{Error("Ошибка чтения", "Не могу открыть файл missing.zmk !")});
    EXPECT_EQ(doc.SaveFolder(), dir.File("sub/"));
    EXPECT_TRUE(doc.Title() == "Zemrik" && doc.FileName().empty());

    // Open, rename, Save: the same file without a dialog, header bytes 1..31 as they came.
    const std::string a = WriteFile("a.zmk", 3);
    const std::string aBytes = ReadWholeFile(a);
    prompt.files.push_back(a);
    EXPECT_EQ(doc.Open().panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Title(), "Zemrik   [a.zmk]");
    EXPECT_EQ(doc.SaveFolder(), dir.Path() + "/");
    EXPECT_FALSE(doc.Modified() || doc.FromInstrument());
    prompt.names.push_back("NEW");
    ASSERT_TRUE(doc.Rename(0) && doc.Save());
    EXPECT_EQ(prompt.fileRequests.size(), 2u);
    EXPECT_EQ(ReadWholeFile(a), aBytes.substr(0, 32) + "NEW" + std::string(11, ' ') + aBytes.substr(46));
    EXPECT_FALSE(doc.Modified());

    // After a Get, Save asks for a name in the folder of the file opened; the header travels on.
    GetRecords(2);
    EXPECT_TRUE(doc.FileName() == a && doc.Title() == "Zemrik");
    const std::string b = dir.File("b.zmk");
    prompt.files.push_back(b);
    ASSERT_TRUE(doc.Save());
    ASSERT_EQ(prompt.fileRequests.size(), 1u);
    EXPECT_EQ(prompt.fileRequests[0].kind, FileDialogRequest::Kind::Save);
    EXPECT_TRUE(prompt.fileRequests[0].confirmOverwrite);
    EXPECT_EQ(prompt.fileRequests[0].startFolder, dir.Path() + "/");
    EXPECT_EQ(ReadWholeFile(b).substr(0, 32), '\x02' + aBytes.substr(1, 31));
    EXPECT_EQ(doc.Title(), "Zemrik   [b.zmk]");
    EXPECT_FALSE(doc.FromInstrument() || doc.Modified());
    // Deletions no longer reach the instrument; the next Save writes without a dialog.
    doc.Delete({0});
    ASSERT_TRUE(doc.Save());
    EXPECT_TRUE(instrument.log.empty());
    EXPECT_EQ(prompt.fileRequests.size(), 1u);
    EXPECT_EQ(ReadWholeFile(b).size(), 32u + 256);

    // A failed Save As: the message; the new name is taken, title and flags stay.
    GetRecords(2);
    prompt.files.push_back(dir.File("no/such/x.zmk"));
    EXPECT_FALSE(doc.SaveAs());
    EXPECT_EQ(Shown(), Strings{Error("Ошибка записи", "Не могу записать файл x.zmk !")});
    EXPECT_TRUE(doc.FileName() == dir.File("no/such/x.zmk") && doc.Title() == "Zemrik");
    EXPECT_TRUE(doc.Modified() && doc.FromInstrument());

    // A file without records: the list empties, the panel stays.
    const CommandResult none = doc.OpenFile(WriteFile("empty.zmk", 0));
    EXPECT_TRUE(none.linesChanged && none.panel == PanelAction::Leave && doc.Count() == 0);
    EXPECT_EQ(doc.Title(), "Zemrik   [empty.zmk]");

    // A list changed before any file was opened has no name to save under: Save asks for one. A
    // start folder that is not there leaves the dialog its own.
    MeasurementDocument fresh(prompt);
    fresh.SetStartFolder(dir.File("Meas"));
    fresh.Delete({});
    prompt.files.push_back(dir.File("fresh.zmk"));
    EXPECT_TRUE(fresh.Save());
    EXPECT_EQ(prompt.fileRequests.back().kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(prompt.fileRequests.back().startFolder, "");
    EXPECT_EQ(ReadWholeFile(dir.File("fresh.zmk")), std::string(32, '\0'));
}

TEST_F(Document, CloseQueryLetsTheWindowGoOnlyWithTheListSafe) {
    struct Case {
        bool modified;
        PromptAnswer answer;
        std::optional<std::string> file;  // the save dialog's answer
        bool closes;
    };
    const Case cases[] = {
        {false, PromptAnswer::Yes, std::nullopt, true},    {true, PromptAnswer::No, std::nullopt, true},
        {true, PromptAnswer::Cancel, std::nullopt, false}, {true, PromptAnswer::Yes, "saved.zmk", true},
        {true, PromptAnswer::Yes, std::nullopt, false},    {true, PromptAnswer::Yes, "missing/x.zmk", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.answer) << " " << c.file.value_or("-"));
        GetRecords(2);
        if (!c.modified) {
            prompt.files.push_back(dir.File("first.zmk"));
            ASSERT_TRUE(doc.Save());
        }
        prompt = {};
        prompt.answers.push_back(c.answer);
        if (c.modified && c.answer == PromptAnswer::Yes)
            prompt.files.push_back(c.file ? std::optional(dir.File(*c.file)) : std::nullopt);

        EXPECT_EQ(doc.CloseQuery(), c.closes);
        const std::size_t questions = c.modified ? 1 : 0;
        ASSERT_GE(prompt.messages.size(), questions);
        if (c.modified) {
            EXPECT_EQ(Shown()[0], "Сообщение|1|Файл не сохранен! Сохранить?");
            EXPECT_EQ(prompt.messages[0].buttons, PromptButtons::YesNoCancel);
        }
        EXPECT_EQ(doc.Count(), 2);
        if (c.file && c.closes) {
            EXPECT_EQ(ReadWholeFile(dir.File(*c.file)).size(), 32u + 2 * 256);
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
