#include "cables/CableTableDocument.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

#include "cables/CableTableFile.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::MakeCable;
using Names = std::vector<std::string>;
using A = PromptAnswer;

// The parameters dialog from a script: OK with texts, OK unchanged (no texts), or Cancel.
class ScriptedDialog : public CableParametersDialog {
public:
    std::deque<std::optional<std::optional<CableDialogTexts>>> replies;  // outer none: Cancel
    int shown = 0;

    std::optional<CableDialogTexts> Run(const CableDialogTexts& texts, std::string_view, Prompt&) override {
        ++shown;
        if (replies.empty()) {
            ADD_FAILURE() << "unscripted dialog";
            return std::nullopt;
        }
        const auto reply = replies.front();
        replies.pop_front();
        if (!reply) return std::nullopt;
        return *reply ? *reply : texts;
    }
    void Ok(std::string name) {
        replies.emplace_back(CableDialogTexts{std::move(name), "12,5", "45", "0,5", 0});
    }
};

// An instrument that runs `during` in the middle of a cable read.
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
    CableTableDocument& Open(bool withPort = true) {
        doc = std::make_unique<CableTableDocument>(
            CableWindowContext{table, withPort ? &instrument : nullptr, path, dir.Path(), prompt}, dialog,
            ",");
        doc->Open();
        return *doc;
    }
    Names Column(int c) const {
        Names cells;
        for (const auto& row : doc->Rows()) cells.push_back(row[static_cast<std::size_t>(c)]);
        return cells;
    }
    void Hold(std::initializer_list<CableRecord> records) {
        table.count = 0;
        for (const CableRecord& r : records) table.records[table.count++] = r;
    }
    std::string Saved(const char* name) {  // a remembered file holding the table
        path = dir.File(name);
        EXPECT_TRUE(SaveTableFile(path, table));
        return path;
    }

    test::TempFolder dir;
    CableTable table;
    std::string path;
    test::ScriptedPrompt prompt;
    HookedInstrument instrument;
    ScriptedDialog dialog;
    std::unique_ptr<CableTableDocument> doc;
};

TEST_F(CableDocTest, OpeningShowsTheRememberedFileOrTheHeldTable) {
    Hold({MakeCable("ФАЙЛ", 0, 1, 1, 1)});
    const std::string saved = Saved("t.cbl");
    for (const std::string& remembered : {std::string(), dir.File("missing.cbl"), saved}) {
        Hold({MakeCable("A", 0, 1, 1, 1), MakeCable("B", 1, 1, 1, 1)});
        path = remembered;
        const bool loads = remembered == saved;
        CableTableDocument& d = Open();
        EXPECT_EQ(Column(0), (loads ? Names{"ФАЙЛ"} : Names{"A", "B"})) << remembered;
        EXPECT_EQ(d.Title(), loads ? "Кабели [t.cbl]" : "Кабели");
        EXPECT_EQ(d.Unnamed(), !loads);
        EXPECT_FALSE(d.Modified());
        EXPECT_EQ(path, remembered);
    }
    table.count = 0;
    path.clear();
    EXPECT_EQ(Open().Rows().size(), 1u);  // the placeholder row
    EXPECT_TRUE(doc->InsertEnabled() && !doc->DeleteEnabled());
}

TEST_F(CableDocTest, AddingInsertsAboveTheSelection) {
    CableTableDocument& d = Open();
    dialog.Ok("a");
    d.AddRow();  // into the placeholder row
    EXPECT_EQ(Column(0), Names{"a"});
    EXPECT_TRUE(d.DeleteEnabled() && d.Modified());  // the only record can be deleted
    dialog.Ok("b");
    d.AddRow();
    dialog.Ok("c");
    d.Select(1);
    d.AddRow();
    EXPECT_EQ(Column(0), (Names{"b", "c", "a"}));
    EXPECT_EQ(d.Selected(), 1);
    dialog.replies.emplace_back(std::nullopt);
    d.AddRow();  // Cancel
    EXPECT_EQ(table.count, 3);

    // A new record starts from zero bytes, not from those of the record it displaces.
    Hold({MakeCable("old", 0, 1, 1, 1, 0xEE)});
    dialog.Ok("new");
    Open().AddRow();
    EXPECT_EQ(table.records[0][24], 0);
    EXPECT_EQ(table.records[1][24], 0xEE);
}

TEST_F(CableDocTest, BlankNamesStayInTheirRows) {
    CableRecord nameless = MakeCable("", 0, 2, 2, 2);
    std::fill_n(nameless.begin(), 14, 0);  // an empty name cell in a filled row
    Hold({nameless, MakeCable("B", 0, 1, 1, 1)});
    Open();
    prompt.answers = {A::No};
    doc->Put();  // reads the grid back
    EXPECT_EQ(table.count, 2);
    EXPECT_EQ(CableNameText(table.records[0]), std::string(14, ' '));
    EXPECT_EQ(CableNameText(table.records[1]), "B");
}

TEST_F(CableDocTest, DeletingMovesWholeRecords) {
    Hold({MakeCable("A", 0, 1, 1, 1, 0xA1), MakeCable("B", 0, 1, 1, 1, 0xB1),
          MakeCable("C", 7, 1, 12.34f, 1, 0xC1)});
    Saved("abc.cbl");
    CableTableDocument& d = Open();
    d.Select(1);
    d.DeleteRow();
    EXPECT_EQ(Column(0), (Names{"A", "C"}));
    EXPECT_EQ(table.records[1][23], 0xC1);  // C keeps its own reserved bytes
    EXPECT_EQ(table.records[1][cab::Material], 1);
    EXPECT_EQ(CableR(table.records[1]), 12.3f);
    EXPECT_FALSE(d.Unnamed());
    d.DeleteRow();  // the last row: the selection moves up
    EXPECT_EQ(d.Selected(), 0);
    d.DeleteRow();
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(Column(0), Names{""});
    EXPECT_TRUE(d.Unnamed() && d.Modified());
    EXPECT_EQ(d.Title(), "Кабели");
}

TEST_F(CableDocTest, EditingGoesThroughTheDialog) {
    Hold({MakeCable("ТПП", 3, 45.6f, 12.34f, 40)});
    CableTableDocument& d = Open();
    dialog.replies.emplace_back(std::optional<CableDialogTexts>{});
    d.EditRow();  // OK unchanged: C loses its fraction, the grid's rounding reaches the table
    EXPECT_EQ(d.Rows()[0], (CableTableDocument::Row{"ТПП", "12,3", "45,0", "0,40", "Алюминий"}));
    EXPECT_EQ(CableR(table.records[0]), 12.3f);
    d.DeleteRow();
    dialog.Ok("new");
    d.EditRow();  // on an empty table Edit adds
    EXPECT_EQ(Column(0), Names{"new"});
}

TEST_F(CableDocTest, GetAndPut) {
    instrument.cables.records[0] = MakeCable("ИЗ ПРИБОРА", 0, 5, 5, 5);
    instrument.cables.count = 1;
    Hold({MakeCable("A", 0, 1, 1.26f, 1)});
    CableTableDocument& d = Open();
    instrument.cableReadResult = 1;
    d.Get();
    EXPECT_EQ(prompt.Texts(), Names{"Ошибка чтения таблицы кабелей!"});
    EXPECT_EQ(Column(0), Names{"A"});
    EXPECT_FALSE(d.Modified());
    instrument.cableReadResult = 0;
    d.Get();
    EXPECT_EQ(Column(0), Names{"ИЗ ПРИБОРА"});
    EXPECT_TRUE(d.Modified() && d.Unnamed());

    for (const auto& [answer, result, message] : {std::tuple{A::No, 0, ""},
                                                  {A::Yes, 0, ""},
                                                  {A::Yes, 1, "Ошибка записи!"},
                                                  {A::Yes, 2, "Нет места для таблицы!"},
                                                  {A::Yes, 7, ""}}) {
        prompt.messages.clear();
        instrument.log.clear();
        instrument.cableWriteResult = static_cast<std::uint8_t>(result);
        prompt.answers = {answer};
        d.Put();
        EXPECT_EQ(prompt.messages[0].text, "Записать таблицу в прибор?");
        EXPECT_EQ(instrument.log.size(), answer == A::Yes ? 1u : 0u);
        EXPECT_EQ(prompt.messages.size() == 2 ? prompt.messages[1].text : "", message);
    }
    instrument.cables.count = 0;
    d.Get();
    EXPECT_EQ(d.Rows().size(), 1u);
    EXPECT_FALSE(Open(false).ExchangeEnabled());
}

TEST_F(CableDocTest, LoadAndSave) {
    test::WriteWholeFile(dir.File("big.cbl"), std::string(65 * 32, 'x'));
    test::WriteWholeFile(dir.File("short.cbl"), std::string(100, 'y'));
    Hold({MakeCable("A", 0, 1, 1, 1)});
    CableTableDocument& d = Open();
    prompt.files = {dir.File("big.cbl"), dir.File("short.cbl"), std::nullopt};
    d.Load();
    EXPECT_EQ(prompt.messages.back().text, "Не могу открыть файл big.cbl !");
    EXPECT_EQ(table.count, 1);
    const FileDialogRequest& open = prompt.fileRequests[0];
    EXPECT_EQ(open.startFolder + open.filter + open.defaultSuffix, dir.Path() + "Файлы кабелей (*.cbl)cbl");
    d.Load();
    EXPECT_EQ(d.Rows().size(), 3u);
    EXPECT_EQ(d.Title(), "Кабели [short.cbl]");
    d.Load();  // cancelled
    EXPECT_EQ(path, dir.File("short.cbl"));
    EXPECT_TRUE(d.Save());  // unchanged: nothing written
    EXPECT_EQ(test::ReadWholeFile(path).size(), 100u);

    // No file: Save asks for one, also for an unchanged table, and writes it.
    path.clear();
    prompt.files = {dir.File("new.cbl")};
    EXPECT_TRUE(Open().Save());
    EXPECT_TRUE(prompt.fileRequests.back().confirmOverwrite);
    EXPECT_EQ(test::ReadWholeFile(dir.File("new.cbl")).size(), 96u);
    EXPECT_EQ(doc->Title(), "Кабели [new.cbl]");
}

TEST_F(CableDocTest, CloseQuestion) {
    const std::string good = dir.File("ok.cbl");
    const std::string bad = dir.File("none/x.cbl");
    struct Case {
        A answer;
        std::optional<std::string> file;  // the save dialog's answer after Yes
        bool closes;
    };
    for (const Case& c : {Case{A::Yes, good, true}, Case{A::Yes, std::nullopt, false},
                          Case{A::Yes, bad, false}, Case{A::No, {}, true}, Case{A::Cancel, {}, false}}) {
        path.clear();
        EXPECT_TRUE(Open().CloseQuery());  // unchanged: no question
        doc->DeleteRow();
        prompt.messages.clear();
        prompt.answers = {c.answer};
        if (c.answer == A::Yes) prompt.files = {c.file};
        EXPECT_EQ(doc->CloseQuery(), c.closes);
        EXPECT_EQ(prompt.messages[0].text, "Таблица  не сохранена! Сохранить?");
        if (c.file == bad) {
            EXPECT_EQ(prompt.Texts().back(), "Не могу записать файл x.cbl !");
        }
    }
    path = good;
    Open().DeleteRow();
    prompt.answers = {A::Cancel};
    doc->CloseQuery();
    EXPECT_EQ(prompt.messages.back().text, "Таблица ok.cbl не сохранена! Сохранить?");
}

TEST_F(CableDocTest, NothingRunsDuringAnExchange) {
    Hold({MakeCable("A", 0, 1, 1, 1)});
    CableTableDocument& d = Open();
    int changes = 0;
    d.changed = [&] { ++changes; };
    instrument.during = [&] {
        EXPECT_TRUE(d.Busy());
        EXPECT_FALSE(d.InsertEnabled() || d.DeleteEnabled() || d.ExchangeEnabled() || d.FilesEnabled());
        EXPECT_FALSE(d.CloseQuery() || d.Save());
        d.AddRow();
        d.EditRow();
        d.DeleteRow();
        d.Load();
        d.Get();
        EXPECT_EQ(table.count, 1);
    };
    d.Get();
    EXPECT_EQ(instrument.log.size(), 1u);
    EXPECT_FALSE(d.Busy());
    EXPECT_GE(changes, 3);  // busy, idle, the new rows
    EXPECT_EQ(dialog.shown, 0);
    EXPECT_TRUE(prompt.messages.empty() && prompt.fileRequests.empty());
}

}  // namespace
}  // namespace zemrik
