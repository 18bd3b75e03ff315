#include "measurement/MeasurementDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "common/CodePage.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using test::RecordBuilder;
using test::TempFolder;

const std::string Pad8(8, ' ');

MeasurementRecord Rec(int i) {
    return RecordBuilder("ЗАП " + std::to_string(i)).Filler(100 + i).Kind(i % 7).Temp(40);
}

// The fake instrument, with a busy flag and a directory count it can be told to report.
struct TestInstrument : test::FakeInstrument {
    bool busy = false;
    int forcedRootCount = -1;
    mutable RootTable forced;
    bool Busy() const override { return busy; }
    const RootTable& GetRootTable() const override {
        if (forcedRootCount < 0) return FakeInstrument::GetRootTable();
        forced = FakeInstrument::GetRootTable();
        forced.count = static_cast<std::uint8_t>(forcedRootCount);
        return forced;
    }
};

// Logs the exchange's events; `during` runs in the middle of every Get record.
struct Recorder : ExchangeObserver {
    std::vector<std::string> events;
    std::function<void()> during;
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
    // A list read from the instrument, with the logs cleared afterwards.
    void GetRecords(int n) {
        Fill(n);
        ASSERT_EQ(doc.Get().panel, PanelAction::ShowFirst);
        instrument.log.clear();
        observer.events.clear();
    }
    std::string WriteFile(const std::string& name, int count, std::uint32_t headerSeed) {
        std::string bytes(32, '\0');
        test::FillBytes(reinterpret_cast<std::uint8_t*>(bytes.data()), 32, headerSeed);
        bytes[0] = static_cast<char>(count);
        for (int i = 0; i < count; ++i) {
            const MeasurementRecord r = Rec(50 + i);
            bytes.append(r.begin(), r.end());
        }
        test::WriteWholeFile(dir.File(name), bytes);
        return dir.File(name);
    }
    void ExpectMessage(std::size_t k, const std::string& text, const std::string& caption, PromptIcon icon) {
        ASSERT_GT(prompt.messages.size(), k);
        EXPECT_EQ(prompt.messages[k].text, text);
        EXPECT_EQ(prompt.messages[k].caption, caption);
        EXPECT_EQ(prompt.messages[k].icon, icon);
    }
    std::vector<std::string> NamesOf(const std::vector<int>& recs) {
        std::vector<std::string> lines;
        for (int i : recs) lines.push_back(AnsiToUtf8(ListLine(Rec(i))));
        return lines;
    }

    TempFolder dir;
    test::ScriptedPrompt prompt;
    TestInstrument instrument;
    Recorder observer;
    MeasurementDocument doc{prompt};
};

TEST_F(Document, GetReadsEveryRecordAndRefusesEverythingUnderIt) {
    Fill(3);
    int probes = 0;
    observer.during = [&] {
        // What events processed inside the exchange could ask for is refused, and asks nothing.
        EXPECT_TRUE(doc.Busy());
        EXPECT_EQ(doc.Get().linesChanged, false);
        EXPECT_FALSE(doc.Delete({0}).linesChanged);
        EXPECT_FALSE(doc.Open().linesChanged);
        EXPECT_FALSE(doc.Save());
        EXPECT_FALSE(doc.Rename(0));
        EXPECT_FALSE(doc.CloseQuery());
        const CommandStates s = doc.Commands(true);
        EXPECT_FALSE(s.open || s.save || s.get || s.put || s.del || s.rename || s.cables || s.comPort ||
                     s.about || s.exit);
        ++probes;
    };
    const CommandResult result = doc.Get();
    EXPECT_EQ(probes, 3);
    EXPECT_TRUE(result.linesChanged);
    EXPECT_EQ(result.panel, PanelAction::ShowFirst);
    EXPECT_EQ(instrument.log, (std::vector<std::string>{"root", "read 0", "read 1", "read 2"}));
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"start", "reading 3", "read 0", "read 1", "read 2", "end"}));
    ASSERT_EQ(doc.Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(doc.Record(i), Rec(i));
    EXPECT_EQ(doc.Lines(), NamesOf({0, 1, 2}));
    EXPECT_EQ(doc.Line(1), "ЗАП 1" + std::string(9, ' ') + Pad8 + "dR");
    EXPECT_TRUE(doc.Modified());
    EXPECT_TRUE(doc.FromInstrument());
    EXPECT_EQ(doc.Title(), "Zemrik");
    EXPECT_FALSE(doc.Busy());
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Document, GetFailuresKeepWhatTheyMust) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string text, caption;
        PromptIcon icon;
        int count;  // -1: the opened file's list stays
        PanelAction panel;
    };
    const std::string name2 = "ЗАП 2" + std::string(9, ' ');
    const Case cases[] = {
        {"root table fails", [&] { instrument.rootResult = 1; }, "Ошибка при чтении RootTable.", "Ошибка",
         PromptIcon::Error, -1, PanelAction::Leave},
        {"no port", [&] { doc.SetInstrument(nullptr); }, "Ошибка при чтении RootTable.", "Ошибка",
         PromptIcon::Error, -1, PanelAction::Leave},
        {"more than 200", [&] { instrument.forcedRootCount = 201; }, "Ошибка при чтении RootTable.", "Ошибка",
         PromptIcon::Error, -1, PanelAction::Leave},
        {"instrument empty", [&] { Fill(0); }, "В памяти прибора нет файлов!", "Информация",
         PromptIcon::Information, -1, PanelAction::Leave},
        {"record 0 fails", [&] { instrument.readFailures[0] = 1; },
         "Ошибка чтения файла ЗАП 0" + std::string(9, ' ') + "!", "Ошибка", PromptIcon::Error, 0,
         PanelAction::Clear},
        {"record 2 fails", [&] { instrument.readFailures[2] = 1; }, "Ошибка чтения файла " + name2 + "!",
         "Ошибка", PromptIcon::Error, 2, PanelAction::ShowFirst},
    };
    const std::string path = WriteFile("old.zmk", 2, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompt = {};
        instrument = TestInstrument{};
        doc.SetInstrument(&instrument);
        Fill(4);
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        observer.events.clear();
        c.arrange();

        const CommandResult result = doc.Get();
        ASSERT_EQ(prompt.messages.size(), 1u);
        ExpectMessage(0, c.text, c.caption, c.icon);
        EXPECT_EQ(observer.messagesAtEnd, 0u) << "the message comes after the exchange";
        EXPECT_EQ(observer.events.front(), "start");
        EXPECT_EQ(observer.events.back(), "end");
        EXPECT_EQ(result.panel, c.panel);
        if (c.count < 0) {
            EXPECT_FALSE(result.linesChanged);
            EXPECT_EQ(doc.Lines(), NamesOf({50, 51}));
            EXPECT_FALSE(doc.Modified());
            EXPECT_FALSE(doc.FromInstrument());
            EXPECT_EQ(doc.Title(), "Zemrik   [old.zmk]");
        } else {
            // The records read before the failure stay, numbered as the instrument numbers them.
            EXPECT_TRUE(result.linesChanged);
            std::vector<int> kept;
            for (int i = 0; i < c.count; ++i) kept.push_back(i);
            EXPECT_EQ(doc.Lines(), NamesOf(kept));
            EXPECT_EQ(instrument.log.back(), "read " + std::to_string(c.count));
            EXPECT_TRUE(doc.Modified());
            EXPECT_TRUE(doc.FromInstrument());
            EXPECT_EQ(doc.Title(), "Zemrik");
            EXPECT_EQ(doc.FileName(), path);
        }
    }
}

TEST_F(Document, PutWritesSelectedLinesInOrderUntilTheFirstFailure) {
    struct Case {
        const char* what;
        PromptAnswer answer;
        std::vector<std::uint8_t> results;
        std::vector<int> selected;
        bool port;
        std::vector<int> written;
        std::string message;
    };
    const std::string err = "Ошибка записи файла ";
    const std::string n1 = "ЗАП 1" + std::string(9, ' '), n3 = "ЗАП 3" + std::string(9, ' ');
    const Case cases[] = {
        {"all written", PromptAnswer::Yes, {}, {3, 1}, true, {1, 3}, ""},
        {"write error first", PromptAnswer::Yes, {1}, {3, 1}, true, {1}, err + n1 + " !"},
        {"write error second", PromptAnswer::Yes, {0, 1}, {1, 3}, true, {1, 3}, err + n3 + " !"},
        {"no room", PromptAnswer::Yes, {2}, {1, 3}, true, {1}, "Нет места для записи!"},
        {"other codes go on", PromptAnswer::Yes, {3}, {1, 3}, true, {1, 3}, ""},
        {"answered no", PromptAnswer::No, {}, {1, 3}, true, {}, ""},
        {"nothing selected", PromptAnswer::Yes, {}, {}, true, {}, ""},
        {"no port", PromptAnswer::Yes, {}, {3, 1}, false, {}, err + n1 + " !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        doc.SetInstrument(&instrument);
        GetRecords(4);
        prompt = {};
        prompt.answers.push_back(c.answer);
        instrument.writeResults = c.results;
        if (!c.port) doc.SetInstrument(nullptr);

        doc.Put(c.selected);
        ExpectMessage(0, "Записать в прибор?", "Запись", PromptIcon::Question);
        EXPECT_EQ(prompt.messages[0].buttons, PromptButtons::YesNo);
        std::vector<std::string> writes;
        for (int i : c.written)
            writes.push_back("write " + Utf8ToAnsi("ЗАП " + std::to_string(i)) + std::string(9, ' '));
        EXPECT_EQ(instrument.log, writes);
        if (c.message.empty()) {
            EXPECT_EQ(prompt.messages.size(), 1u);
        } else {
            ASSERT_EQ(prompt.messages.size(), 2u);
            ExpectMessage(1, c.message, "Запись", PromptIcon::Error);
        }
        // Put changes neither the list nor the flags.
        EXPECT_EQ(doc.Lines(), NamesOf({0, 1, 2, 3}));
        EXPECT_TRUE(doc.Modified() && doc.FromInstrument());
        EXPECT_FALSE(doc.Busy());
    }
}

TEST_F(Document, DeleteFromAFileListAndFromTheInstrument) {
    // A list from a file: only the list changes, and Modified is set even with nothing selected.
    Fill(5);
    ASSERT_TRUE(doc.OpenFile(WriteFile("five.zmk", 5, 3)).linesChanged);
    EXPECT_EQ(doc.Delete({}).panel, PanelAction::ShowFirst);
    EXPECT_TRUE(doc.Modified());
    EXPECT_EQ(doc.Delete({2, 1}).panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Lines(), NamesOf({50, 53, 54}));
    const CommandResult emptied = doc.Delete({0, 1, 2});
    EXPECT_TRUE(emptied.linesChanged);
    EXPECT_EQ(emptied.panel, PanelAction::Clear);
    EXPECT_EQ(doc.Delete({}).panel, PanelAction::Clear);
    EXPECT_TRUE(instrument.log.empty());
    EXPECT_TRUE(observer.events.empty());

    // A list from the instrument: the number sent is the record's place after earlier removals.
    GetRecords(5);
    EXPECT_EQ(doc.Delete({1, 2}).panel, PanelAction::ShowFirst);
    EXPECT_EQ(instrument.log, (std::vector<std::string>{"delete 1", "delete 1"}));
    EXPECT_EQ(observer.events, (std::vector<std::string>{"start", "end"}));
    EXPECT_EQ(doc.Lines(), NamesOf({0, 3, 4}));
    ASSERT_EQ(instrument.records.size(), 3u);
    EXPECT_EQ(instrument.records[1], Rec(3));

    // A refused or unanswered deletion ends the pass; that line and the later ones stay.
    for (std::uint8_t refusal : {std::uint8_t{1}, std::uint8_t{2}}) {
        SCOPED_TRACE(static_cast<int>(refusal));
        GetRecords(5);
        prompt = {};
        instrument.deleteResults = {{2, refusal}};
        EXPECT_EQ(doc.Delete({1, 3, 4}).panel, PanelAction::ShowFirst);
        EXPECT_EQ(instrument.log, (std::vector<std::string>{"delete 1", "delete 2"}));
        ASSERT_EQ(prompt.messages.size(), 1u);
        ExpectMessage(0, "Ошибка удаления файла ЗАП 3" + std::string(9, ' ') + " !", "Удаление",
                      PromptIcon::Error);
        EXPECT_EQ(observer.messagesAtEnd, 0u);
        EXPECT_EQ(doc.Lines(), NamesOf({0, 2, 3, 4}));
        EXPECT_TRUE(doc.Modified());
    }

    // The port closed after the Get: nothing can reach the instrument, so nothing leaves the list.
    GetRecords(3);
    prompt = {};
    doc.SetInstrument(nullptr);
    doc.Delete({1});
    ExpectMessage(0, "Ошибка удаления файла ЗАП 1" + std::string(9, ' ') + " !", "Удаление",
                  PromptIcon::Error);
    EXPECT_EQ(doc.Count(), 3);
}

TEST_F(Document, RenameStoresAPaddedNameAndNeverReachesTheInstrument) {
    struct Case {
        std::optional<std::string> answer;
        std::string stored;  // UTF-8, 14 characters; empty: unchanged
    };
    const Case cases[] = {
        {"AB", "AB" + std::string(12, ' ')},
        {"ЖУК-2", "ЖУК-2" + std::string(9, ' ')},
        {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMN"},
        {std::nullopt, ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("(cancel)"));
        prompt = {};
        const std::string path = WriteFile("two.zmk", 2, 1);
        ASSERT_TRUE(doc.OpenFile(path).linesChanged);
        prompt.names.push_back(c.answer);

        EXPECT_EQ(doc.Rename(1), !c.stored.empty());
        ASSERT_EQ(prompt.nameRequests.size(), 1u);
        EXPECT_EQ(prompt.nameRequests[0], "ЗАП 51");
        if (c.stored.empty()) {
            EXPECT_EQ(doc.Record(1), Rec(51));
            EXPECT_FALSE(doc.Modified());
        } else {
            MeasurementRecord expected = Rec(51);
            const std::string field = Utf8ToAnsi(c.stored);
            std::copy(field.begin(), field.end(), expected.begin());
            EXPECT_EQ(doc.Record(1), expected);
            EXPECT_EQ(doc.Line(1), c.stored + Pad8 + "Cx");
            EXPECT_TRUE(doc.Modified());
            EXPECT_TRUE(doc.Commands(false).save);
        }
        EXPECT_TRUE(instrument.log.empty());
    }
    prompt = {};
    EXPECT_FALSE(doc.Rename(2));
    EXPECT_FALSE(doc.Rename(-1));
    EXPECT_TRUE(prompt.nameRequests.empty());
}

TEST_F(Document, OpenAndSaveCarryTheHeaderAndKeepFlagsAndTitle) {
    doc.SetStartFolder(dir.Path());
    // Cancelled open dialog: nothing changes.
    prompt.files.push_back(std::nullopt);
    EXPECT_FALSE(doc.Open().linesChanged);
    ASSERT_EQ(prompt.fileRequests.size(), 1u);
    const FileDialogRequest& openRequest = prompt.fileRequests[0];
    EXPECT_EQ(openRequest.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(openRequest.filter, "Measure Results(*.zmk)");
    EXPECT_EQ(openRequest.defaultSuffix, "zmk");
    EXPECT_EQ(openRequest.startFolder, dir.Path());
    EXPECT_FALSE(openRequest.confirmOverwrite);

    // A file that cannot be read: message, and only the save dialog's folder moved.
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_FALSE(doc.OpenFile(dir.File("sub/missing.zmk")).linesChanged);
    ExpectMessage(0, "Не могу открыть файл missing.zmk !", "Ошибка чтения", PromptIcon::Error);
    EXPECT_EQ(doc.SaveFolder(), dir.File("sub/"));
    EXPECT_EQ(doc.Title(), "Zemrik");
    EXPECT_TRUE(doc.FileName().empty());

    // Open, rename, Save: the same file, header bytes 1..31 as they came.
    const std::string a = WriteFile("a.zmk", 3, 99);
    const std::string aBytes = ReadWholeFile(a);
    prompt.files.push_back(a);
    const CommandResult opened = doc.Open();
    EXPECT_EQ(opened.panel, PanelAction::ShowFirst);
    EXPECT_EQ(doc.Title(), "Zemrik   [a.zmk]");
    EXPECT_EQ(doc.SaveFolder(), dir.Path() + "/");
    EXPECT_EQ(doc.OpenFolder(), dir.Path());
    EXPECT_FALSE(doc.Modified() || doc.FromInstrument());
    prompt.names.push_back("NEW");
    ASSERT_TRUE(doc.Rename(0));
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(prompt.fileRequests.size(), 2u) << "Save of an opened file asks nothing";
    const std::string saved = ReadWholeFile(a);
    ASSERT_EQ(saved.size(), 32u + 3 * 256);
    EXPECT_EQ(saved.substr(0, 32), aBytes.substr(0, 32));
    EXPECT_EQ(saved.substr(32, 14), "NEW" + std::string(11, ' '));
    EXPECT_FALSE(doc.Modified());

    // After a Get, Save asks for a name in the folder of the file opened; the header travels on.
    GetRecords(2);
    EXPECT_EQ(doc.FileName(), a);
    EXPECT_EQ(doc.Title(), "Zemrik");
    const std::string b = dir.File("b.zmk");
    prompt.files.push_back(b);
    ASSERT_TRUE(doc.Save());
    ASSERT_EQ(prompt.fileRequests.size(), 3u);
    EXPECT_EQ(prompt.fileRequests[2].kind, FileDialogRequest::Kind::Save);
    EXPECT_TRUE(prompt.fileRequests[2].confirmOverwrite);
    EXPECT_EQ(prompt.fileRequests[2].startFolder, dir.Path() + "/");
    const std::string bBytes = ReadWholeFile(b);
    ASSERT_EQ(bBytes.size(), 32u + 2 * 256);
    EXPECT_EQ(bBytes[0], 2);
    EXPECT_EQ(bBytes.substr(1, 31), aBytes.substr(1, 31));
    EXPECT_EQ(doc.Title(), "Zemrik   [b.zmk]");
    EXPECT_FALSE(doc.FromInstrument() || doc.Modified());
    // Deletions no longer reach the instrument; the next Save writes without a dialog.
    doc.Delete({0});
    EXPECT_TRUE(instrument.log.empty());
    ASSERT_TRUE(doc.Save());
    EXPECT_EQ(prompt.fileRequests.size(), 3u);
    EXPECT_EQ(ReadWholeFile(b).size(), 32u + 256);

    // A file without records: the list empties, the panel stays.
    const std::string empty = WriteFile("empty.zmk", 0, 5);
    const CommandResult none = doc.OpenFile(empty);
    EXPECT_TRUE(none.linesChanged);
    EXPECT_EQ(none.panel, PanelAction::Leave);
    EXPECT_EQ(doc.Count(), 0);
    EXPECT_EQ(doc.Title(), "Zemrik   [empty.zmk]");
}

TEST_F(Document, SaveAsFailureAndSaveWithoutAName) {
    GetRecords(2);
    prompt.files.push_back(dir.File("no/such/x.zmk"));
    EXPECT_FALSE(doc.SaveAs());
    ExpectMessage(0, "Не могу записать файл x.zmk !", "Ошибка записи", PromptIcon::Error);
    EXPECT_EQ(doc.FileName(), dir.File("no/such/x.zmk"));
    EXPECT_EQ(doc.Title(), "Zemrik");
    EXPECT_TRUE(doc.Modified() && doc.FromInstrument());

    // A list changed before any file was opened has no name to save under: Save asks for one.
    MeasurementDocument fresh(prompt);
    fresh.Delete({});
    ASSERT_TRUE(fresh.Modified());
    prompt.files.push_back(dir.File("fresh.zmk"));
    EXPECT_TRUE(fresh.Save());
    EXPECT_EQ(prompt.fileRequests.back().kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(ReadWholeFile(dir.File("fresh.zmk")), std::string(32, '\0'));

    // A start folder that is not there leaves the dialog its own.
    fresh.SetStartFolder(dir.File("Meas"));
    prompt.files.push_back(std::nullopt);
    fresh.Open();
    EXPECT_EQ(prompt.fileRequests.back().startFolder, "");
}

TEST_F(Document, CloseQueryLetsTheWindowGoOnlyWithTheListSafe) {
    struct Case {
        const char* what;
        bool modified;
        PromptAnswer answer;
        std::optional<std::string> file;  // the save dialog's answer
        bool closes;
    };
    const Case cases[] = {
        {"unchanged", false, PromptAnswer::Yes, std::nullopt, true},
        {"no", true, PromptAnswer::No, std::nullopt, true},
        {"cancel", true, PromptAnswer::Cancel, std::nullopt, false},
        {"yes, saved", true, PromptAnswer::Yes, "saved.zmk", true},
        {"yes, dialog cancelled", true, PromptAnswer::Yes, std::nullopt, false},
        {"yes, write failed", true, PromptAnswer::Yes, "missing/x.zmk", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompt = {};
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
        if (!c.modified) {
            EXPECT_TRUE(prompt.messages.empty());
            continue;
        }
        ExpectMessage(0, "Файл не сохранен! Сохранить?", "Сообщение", PromptIcon::Information);
        EXPECT_EQ(prompt.messages[0].buttons, PromptButtons::YesNoCancel);
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

TEST_F(Document, CommandStatesFollowListFlagsAndPort) {
    struct Expect {
        const char* what;
        bool port, save, get, put;
    };
    auto check = [&](const Expect& e) {
        SCOPED_TRACE(e.what);
        const CommandStates s = doc.Commands(e.port);
        EXPECT_EQ(s.save, e.save);
        EXPECT_EQ(s.get, e.get);
        EXPECT_EQ(s.put, e.put);
        EXPECT_EQ(s.del, e.put);
        EXPECT_EQ(s.rename, e.put);
        EXPECT_TRUE(s.open && s.cables && s.comPort && s.about && s.exit);
    };
    check({"start, no port", false, false, false, false});
    check({"start, port open", true, false, true, false});
    GetRecords(2);
    check({"after Get", true, true, true, true});
    ASSERT_TRUE(doc.OpenFile(WriteFile("f.zmk", 1, 2)).linesChanged);
    check({"after Open", false, false, false, true});
    prompt.names.push_back("X");
    doc.Rename(0);
    check({"after Rename", false, true, false, true});
    doc.Delete({0});
    check({"emptied by Delete", true, false, true, false});
    instrument.busy = true;
    EXPECT_TRUE(doc.Busy());
    const CommandStates busy = doc.Commands(true);
    EXPECT_FALSE(busy.open || busy.get || busy.about || busy.exit || busy.comPort);
}

}  // namespace
}  // namespace zemrik
