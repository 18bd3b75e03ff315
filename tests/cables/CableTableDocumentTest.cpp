#include "cables/CableTableDocument.h"

#include "cables/CableTableFile.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::MakeCable;
using Kind = FileDialogRequest::Kind;

// The parameters dialog answered from a script: texts for OK, nullopt for Cancel, or
// "unchanged" for OK on what it was filled with.
class ScriptedDialog : public CableParametersDialog {
public:
    struct Reply {
        bool ok = true;
        std::optional<CableDialogTexts> texts;  // none with ok: OK without changes
    };
    std::deque<Reply> replies;
    std::vector<CableDialogTexts> shown;

    std::optional<CableDialogTexts> Run(const CableDialogTexts& texts, std::string_view, Prompt&) override {
        shown.push_back(texts);
        if (replies.empty()) {
            ADD_FAILURE() << "unscripted dialog";
            return std::nullopt;
        }
        const Reply reply = replies.front();
        replies.pop_front();
        if (!reply.ok) return std::nullopt;
        return reply.texts ? reply.texts : texts;
    }
    void Ok(std::string name) {
        replies.push_back({true, CableDialogTexts{std::move(name), "12,5", "45", "0,5", 0}});
    }
};

// An instrument that runs `during` in the middle of its cable exchanges.
class HookedInstrument : public test::FakeInstrument {
public:
    std::function<void()> during;
    std::uint8_t ReadCableTable(CableTable& table) override {
        if (during) during();
        return FakeInstrument::ReadCableTable(table);
    }
};

class CableDocTest : public testing::Test {
protected:
    void Open(bool withPort = true) {
        doc_ = std::make_unique<CableTableDocument>(
            CableWindowContext{table, withPort ? &instrument : nullptr, path, dir.Path(), prompt}, dialog,
            ",");
        doc_->Open();
    }
    CableTableDocument& Doc() { return *doc_; }
    std::vector<std::string> Column(int c) {
        std::vector<std::string> cells;
        for (const auto& row : doc_->Rows()) cells.push_back(row[static_cast<std::size_t>(c)]);
        return cells;
    }
    void Hold(std::initializer_list<CableRecord> records) {
        table.count = 0;
        for (const CableRecord& r : records) table.records[table.count++] = r;
    }

    test::TempFolder dir;
    CableTable table;
    std::string path;
    test::ScriptedPrompt prompt;
    HookedInstrument instrument;
    ScriptedDialog dialog;
    std::unique_ptr<CableTableDocument> doc_;
};

using Names = std::vector<std::string>;

TEST_F(CableDocTest, OpeningShowsTheRememberedFileOrTheHeldTable) {
    CableTable file;
    file.records[0] = MakeCable("ФАЙЛ", 0, 1, 1, 1);
    file.count = 1;
    const std::string saved = dir.File("t.cbl");
    ASSERT_TRUE(SaveTableFile(saved, file));
    struct Case {
        std::string remembered;
        Names names;
        std::string title;
        bool unnamed;
    };
    const Case cases[] = {{"", {"A", "B"}, "Кабели", true},
                          {dir.File("missing.cbl"), {"A", "B"}, "Кабели", true},
                          {saved, {"ФАЙЛ"}, "Кабели [t.cbl]", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remembered);
        Hold({MakeCable("A", 0, 1, 1, 1), MakeCable("B", 1, 1, 1, 1)});
        path = c.remembered;
        Open();
        EXPECT_EQ(Column(0), c.names);
        EXPECT_EQ(Doc().Title(), c.title);
        EXPECT_EQ(Doc().Unnamed(), c.unnamed);
        EXPECT_FALSE(Doc().Modified());
        EXPECT_EQ(path, c.remembered);
    }
    // Nothing held, nothing remembered: the placeholder row, Delete disabled.
    table.count = 0;
    path.clear();
    Open();
    EXPECT_EQ(Doc().Rows().size(), 1u);
    EXPECT_TRUE(Doc().InsertEnabled());
    EXPECT_FALSE(Doc().DeleteEnabled());
}

TEST_F(CableDocTest, AddingInsertsAboveTheSelectionUpToSixtyFour) {
    Open();
    dialog.Ok("a");
    Doc().AddRow();  // reuses the placeholder row
    EXPECT_EQ(Column(0), Names{"a"});
    EXPECT_EQ(Doc().Rows()[0][1], "12,5");
    EXPECT_TRUE(Doc().DeleteEnabled());  // the only record can be deleted
    EXPECT_TRUE(Doc().Modified());
    dialog.Ok("b");
    Doc().AddRow();
    dialog.Ok("c");
    Doc().Select(1);
    Doc().AddRow();
    EXPECT_EQ(Column(0), (Names{"b", "c", "a"}));
    EXPECT_EQ(Doc().Selected(), 1);
    EXPECT_EQ(table.records[1][24], 0);  // a new record starts from zero bytes

    dialog.replies.push_back({false, {}});
    Doc().AddRow();  // Cancel
    EXPECT_EQ(table.count, 3);
    while (table.count < 63) {
        dialog.Ok("x");
        Doc().AddRow();
    }
    EXPECT_TRUE(Doc().InsertEnabled());
    dialog.Ok("last");
    Doc().AddRow();
    EXPECT_EQ(table.count, 64);
    EXPECT_FALSE(Doc().InsertEnabled());
    const auto shown = dialog.shown.size();
    Doc().AddRow();  // the Insert key while the table is full
    EXPECT_EQ(dialog.shown.size(), shown);
    EXPECT_EQ(Doc().Rows().size(), 64u);
}

TEST_F(CableDocTest, BlankNamesStayInTheirRows) {
    CableRecord nameless = MakeCable("", 0, 2, 2, 2);
    std::fill_n(nameless.begin(), 14, 0);  // an empty name cell, the rest of the row filled
    Hold({nameless, MakeCable("B", 0, 1, 1, 1)});
    Open();
    EXPECT_EQ(Column(0), (Names{"", "B"}));
    prompt.answers.push_back(PromptAnswer::No);
    Doc().Put();  // reads the grid back
    EXPECT_EQ(table.count, 2);
    EXPECT_EQ(CableNameText(table.records[0]), std::string(14, ' '));
    EXPECT_EQ(CableNameText(table.records[1]), "B");
}

TEST_F(CableDocTest, DeletingMovesWholeRecords) {
    Hold({MakeCable("A", 0, 1, 1, 1, 0xA1), MakeCable("B", 0, 1, 1, 1, 0xB1),
          MakeCable("C", 7, 1, 12.34f, 1, 0xC1)});
    path = dir.File("abc.cbl");
    ASSERT_TRUE(SaveTableFile(path, table));
    Open();
    Doc().Select(1);
    Doc().DeleteRow();
    EXPECT_EQ(Column(0), (Names{"A", "C"}));
    EXPECT_EQ(table.records[1][23], 0xC1);  // C keeps its own reserved bytes
    EXPECT_EQ(table.records[1][cab::Material], 1);
    EXPECT_EQ(CableR(table.records[1]), 12.3f);
    EXPECT_FALSE(Doc().Unnamed());
    Doc().DeleteRow();  // the last row; the selection moves up to the new last row
    EXPECT_EQ(Column(0), Names{"A"});
    EXPECT_EQ(Doc().Selected(), 0);
    Doc().DeleteRow();
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(Column(0), Names{""});
    EXPECT_TRUE(Doc().Unnamed());
    EXPECT_TRUE(Doc().Modified());
    EXPECT_EQ(Doc().Title(), "Кабели");
}

TEST_F(CableDocTest, EditingGoesThroughTheDialog) {
    Hold({MakeCable("ТПП", 3, 45.6f, 12.34f, 40)});
    Open();
    dialog.replies.push_back({false, {}});
    Doc().EditRow();  // Cancel: the grid is still read back, nothing is marked
    EXPECT_FALSE(Doc().Modified());
    EXPECT_EQ(dialog.shown.back().c, "45");
    dialog.replies.push_back({true, {}});
    Doc().EditRow();  // OK unchanged: C loses its fraction
    EXPECT_EQ(Doc().Rows()[0], (CableTableDocument::Row{"ТПП", "12,3", "45,0", "0,40", "Алюминий"}));
    EXPECT_EQ(table.records[0][cab::Material], 1);
    EXPECT_TRUE(Doc().Modified());

    Doc().DeleteRow();
    dialog.Ok("new");
    Doc().EditRow();  // on an empty table Edit adds
    EXPECT_EQ(Column(0), Names{"new"});
    EXPECT_EQ(table.count, 1);
}

TEST_F(CableDocTest, GetAndPut) {
    instrument.cables.records[0] = MakeCable("ИЗ ПРИБОРА", 0, 5, 5, 5);
    instrument.cables.count = 1;
    Hold({MakeCable("A", 0, 1, 1.26f, 1)});
    Open();
    instrument.cableReadResult = 1;
    Doc().Get();
    EXPECT_EQ(prompt.Texts().back(), "Ошибка чтения таблицы кабелей!");
    EXPECT_EQ(Column(0), Names{"A"});
    EXPECT_FALSE(Doc().Modified());
    instrument.cableReadResult = 0;
    Doc().Get();
    EXPECT_EQ(Column(0), Names{"ИЗ ПРИБОРА"});
    EXPECT_TRUE(Doc().Modified() && Doc().Unnamed());

    struct Case {
        PromptAnswer answer;
        std::uint8_t result;
        std::string message;  // empty: none
    };
    for (const auto& c :
         {Case{PromptAnswer::No, 0, ""}, Case{PromptAnswer::Yes, 0, ""},
          Case{PromptAnswer::Yes, 1, "Ошибка записи!"}, Case{PromptAnswer::Yes, 2, "Нет места для таблицы!"},
          Case{PromptAnswer::Yes, 7, ""}}) {
        prompt.messages.clear();
        instrument.log.clear();
        instrument.cableWriteResult = c.result;
        prompt.answers.push_back(c.answer);
        Doc().Put();
        EXPECT_EQ(prompt.messages[0].text, "Записать таблицу в прибор?");
        EXPECT_EQ(prompt.messages[0].caption, "Запись");
        EXPECT_EQ(instrument.log.size(), c.answer == PromptAnswer::Yes ? 1u : 0u);
        EXPECT_EQ(prompt.messages.size() == 2 ? prompt.messages[1].text : "", c.message);
    }

    instrument.cables.count = 0;
    Doc().Get();
    EXPECT_EQ(Doc().Rows().size(), 1u);
    EXPECT_FALSE(Doc().DeleteEnabled());
    Open(false);
    EXPECT_FALSE(Doc().ExchangeEnabled());
}

TEST_F(CableDocTest, LoadAndSave) {
    const std::string big = dir.File("big.cbl");
    test::WriteWholeFile(big, std::string(65 * 32, 'x'));
    const std::string shortFile = dir.File("short.cbl");
    test::WriteWholeFile(shortFile, std::string(100, 'y'));
    Hold({MakeCable("A", 0, 1, 1, 1)});
    Open();
    prompt.files = {big, shortFile, std::nullopt};
    Doc().Load();
    EXPECT_EQ(prompt.messages.back().text, "Не могу открыть файл big.cbl !");
    EXPECT_EQ(prompt.messages.back().caption, "Ошибка чтения");
    EXPECT_EQ(table.count, 1);
    EXPECT_EQ(prompt.fileRequests[0].startFolder, dir.Path());
    EXPECT_EQ(prompt.fileRequests[0].filter, "Файлы кабелей (*.cbl)");
    EXPECT_EQ(prompt.fileRequests[0].defaultSuffix, "cbl");
    Doc().Load();
    EXPECT_EQ(Doc().Rows().size(), 3u);
    EXPECT_EQ(Doc().Title(), "Кабели [short.cbl]");
    EXPECT_EQ(path, shortFile);
    Doc().Load();  // cancelled
    EXPECT_EQ(path, shortFile);
    EXPECT_TRUE(Doc().Save());  // unchanged: nothing written
    EXPECT_EQ(test::ReadWholeFile(shortFile).size(), 100u);

    // A table with no file asks for a name, also when unchanged, and writes what it was given.
    path.clear();
    Open();
    prompt.files = {dir.File("new.cbl")};
    EXPECT_TRUE(Doc().Save());
    EXPECT_EQ(prompt.fileRequests.back().kind, Kind::Save);
    EXPECT_TRUE(prompt.fileRequests.back().confirmOverwrite);
    EXPECT_EQ(test::ReadWholeFile(dir.File("new.cbl")).size(), 96u);
    EXPECT_EQ(Doc().Title(), "Кабели [new.cbl]");

    path = dir.File("no/such/folder.cbl");
    Open();
    Doc().DeleteRow();
    Doc().Select(0);
    prompt.files = {path};
    EXPECT_FALSE(Doc().Save());
    EXPECT_EQ(prompt.messages.back().text, "Не могу записать файл folder.cbl !");
    EXPECT_TRUE(Doc().Modified());
}

TEST_F(CableDocTest, CloseQuestion) {
    struct Case {
        std::vector<PromptAnswer> answers;
        std::optional<std::string> file;  // the save dialog's answer, when asked
        bool closes;
    };
    const std::string good = dir.File("ok.cbl");
    const std::string bad = dir.File("none/x.cbl");
    const Case cases[] = {{{PromptAnswer::Yes}, good, true},
                          {{PromptAnswer::Yes}, std::nullopt, false},
                          {{PromptAnswer::Yes}, bad, false},
                          {{PromptAnswer::No}, {}, true},
                          {{PromptAnswer::Cancel}, {}, false}};
    for (const auto& c : cases) {
        path.clear();
        Open();
        EXPECT_TRUE(Doc().CloseQuery());  // unchanged: no question
        Doc().DeleteRow();
        prompt.messages.clear();
        prompt.answers.assign(c.answers.begin(), c.answers.end());
        if (c.answers[0] == PromptAnswer::Yes) prompt.files = {c.file};
        EXPECT_EQ(Doc().CloseQuery(), c.closes);
        EXPECT_EQ(prompt.messages[0].text, "Таблица  не сохранена! Сохранить?");
        EXPECT_EQ(prompt.messages[0].caption, "Сохранение");
        EXPECT_EQ(prompt.messages[0].buttons, PromptButtons::YesNoCancel);
    }
    // With a file, its name is in the question.
    path = good;
    Open();
    Doc().DeleteRow();
    prompt.answers = {PromptAnswer::Cancel};
    EXPECT_FALSE(Doc().CloseQuery());
    EXPECT_EQ(prompt.messages.back().text, "Таблица ok.cbl не сохранена! Сохранить?");
}

TEST_F(CableDocTest, NothingRunsDuringAnExchange) {
    Hold({MakeCable("A", 0, 1, 1, 1)});
    Open();
    int changes = 0;
    Doc().changed = [&] { ++changes; };
    bool checked = false;
    instrument.during = [&] {
        checked = true;
        EXPECT_TRUE(Doc().Busy());
        EXPECT_FALSE(Doc().InsertEnabled() || Doc().DeleteEnabled() || Doc().ExchangeEnabled() ||
                     Doc().FilesEnabled());
        EXPECT_FALSE(Doc().CloseQuery());
        EXPECT_FALSE(Doc().Save());
        Doc().AddRow();
        Doc().EditRow();
        Doc().DeleteRow();
        Doc().Load();
        Doc().Get();
        EXPECT_EQ(table.count, 1);
    };
    Doc().Get();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(Doc().Busy());
    EXPECT_GE(changes, 3);  // busy, idle, the new rows
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_TRUE(prompt.messages.empty() && prompt.fileRequests.empty());
}

}  // namespace
}  // namespace zemrik
