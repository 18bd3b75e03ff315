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
using Shown = test::ScriptedPrompt::Shown;
const Shown PutQuestion{"Записать таблицу в прибор?", "Запись", PromptIcon::Question, PromptButtons::YesNo};
Shown Failure(std::string text, std::string caption) {
    return {std::move(text), std::move(caption), PromptIcon::Error, PromptButtons::Ok};
}

// The parameters dialog from a script: OK with texts, OK unchanged (inner none), or Cancel (outer none).
class ScriptedDialog : public CableParametersDialog {
public:
    std::deque<std::optional<std::optional<CableDialogTexts>>> replies;
    int shown = 0;
    std::optional<CableDialogTexts> Run(const CableDialogTexts& texts, std::string_view, Prompt&) override {
        ++shown;
        if (replies.empty()) return std::nullopt;
        const auto reply = replies.front();
        replies.pop_front();
        if (!reply) return std::nullopt;
        return *reply ? *reply : texts;
    }
    void Ok(std::string name) {
        replies.emplace_back(CableDialogTexts{std::move(name), "12,5", "45", "0,5", 0});
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
    void Hold(int n, std::uint8_t reserved = 0) {
        for (int i = 0; i < n; ++i)
            table.records[static_cast<std::size_t>(i)] =
                MakeCable(std::string(1, static_cast<char>('A' + i % 26)), 0, 1, 1, 1, reserved);
        table.count = static_cast<std::uint8_t>(n);
    }

    test::TempFolder dir;
    CableTable table;
    std::string path;
    test::ScriptedPrompt prompt;
    test::FakeInstrument instrument;
    ScriptedDialog dialog;
    std::unique_ptr<CableTableDocument> doc;
};

TEST_F(CableDocTest, OpeningShowsTheRememberedFileOrTheHeldTable) {
    table.records[0] = MakeCable("ФАЙЛ", 0, 1, 1, 1);
    table.count = 1;
    const std::string saved = dir.File("t.cbl");
    ASSERT_TRUE(SaveTableFile(saved, table));
    for (const std::string& remembered : {std::string(), dir.File("missing.cbl"), saved}) {
        Hold(2);
        path = remembered;
        const bool loads = remembered == saved;
        CableTableDocument& d = Open();
        EXPECT_EQ(Column(0), (loads ? Names{"ФАЙЛ"} : Names{"A", "B"})) << remembered;
        EXPECT_EQ(d.Title(), loads ? "Кабели [t.cbl]" : "Кабели");
        EXPECT_FALSE(d.Modified());
    }
}

TEST_F(CableDocTest, AddingInsertsAboveTheSelectionUpToSixtyFour) {
    CableTableDocument& d = Open();
    dialog.Ok("a");
    d.AddRow();  // into the placeholder row
    EXPECT_TRUE(d.DeleteEnabled() && d.Modified());
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

    Hold(63, 0xEE);
    dialog.Ok("new");
    Open().AddRow();
    EXPECT_EQ(table.count, 64);
    EXPECT_EQ(table.records[0][24], 0);  // a new record starts from zero bytes
    EXPECT_EQ(table.records[1][24], 0xEE);
    EXPECT_FALSE(doc->InsertEnabled());
    const int shown = dialog.shown;
    doc->AddRow();  // the 65th is refused before the dialog
    EXPECT_EQ(dialog.shown, shown);
    EXPECT_EQ(table.count, 64);
}

TEST_F(CableDocTest, DeletingMiddleLastAndOnly) {
    Hold(3, 0xA1);
    table.records[2] = MakeCable("C", 7, 1, 12.34f, 1, 0xC1);
    path = dir.File("abc.cbl");
    ASSERT_TRUE(SaveTableFile(path, table));
    CableTableDocument& d = Open();
    d.Select(1);
    d.DeleteRow();
    EXPECT_EQ(Column(0), (Names{"A", "C"}));
    EXPECT_EQ(table.records[1][23], 0xC1);  // whole records move, reserved bytes included
    EXPECT_EQ(table.records[1][cab::Material], 1);
    d.DeleteRow();  // the last row: the selection moves up
    EXPECT_EQ(d.Selected(), 0);
    d.DeleteRow();  // the only row: the emptied table keeps its file
    EXPECT_EQ(table.count, 0);
    EXPECT_EQ(Column(0), Names{""});
    EXPECT_EQ(d.Title(), "Кабели [abc.cbl]");
    EXPECT_TRUE(d.Save());
    EXPECT_TRUE(prompt.fileRequests.empty());
    EXPECT_EQ(test::ReadWholeFile(path).size(), 0u);
}

TEST_F(CableDocTest, EditingOkUnchangedAndCancel) {
    table.records[0] = MakeCable("ТПП", 3, 45.6f, 12.34f, 40);
    table.count = 1;
    CableTableDocument& d = Open();
    dialog.replies.emplace_back(std::nullopt);
    d.EditRow();  // Cancel
    EXPECT_EQ(CableC(table.records[0]), 45.6f);
    EXPECT_FALSE(d.Modified());
    dialog.replies.emplace_back(std::optional<CableDialogTexts>{});
    d.EditRow();  // OK unchanged: C loses its fraction, the grid's rounding reaches the table
    EXPECT_EQ(d.Rows()[0], (CableTableDocument::Row{"ТПП", "12,3", "45,0", "0,40", "Алюминий"}));
    EXPECT_EQ(CableR(table.records[0]), 12.3f);
    EXPECT_TRUE(d.Modified());
}

TEST_F(CableDocTest, GetAndPut) {
    CableRecord nameless = MakeCable("", 0, 2, 2, 2);
    std::fill_n(nameless.begin(), 14, 0);  // an empty name cell in a filled row
    table.records[0] = nameless;
    table.records[1] = MakeCable("B", 0, 1, 1.26f, 1);
    table.count = 2;
    CableTableDocument& d = Open();
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
        std::vector<Shown> shown{PutQuestion};
        if (*message != '\0') shown.push_back(Failure(message, "Запись"));
        EXPECT_EQ(prompt.messages, shown);
        EXPECT_EQ(instrument.log.size(), answer == A::Yes ? 1u : 0u);
    }
    // The grid was read back even after No: the rounding reached the table, the blank name stayed.
    EXPECT_EQ(CableR(table.records[1]), 1.3f);
    EXPECT_EQ(CableNameText(table.records[0]), std::string(14, ' '));

    prompt.messages.clear();
    instrument.during = [&](const std::string&) {  // nothing runs under an exchange
        EXPECT_FALSE(d.InsertEnabled() || d.DeleteEnabled() || d.FilesEnabled() || d.CloseQuery() ||
                     d.Save());
        d.AddRow();
        d.DeleteRow();
        d.Load();
        d.Get();
    };
    instrument.cableReadResult = 1;
    d.Get();
    instrument.during = nullptr;
    EXPECT_EQ(dialog.shown, 0);
    EXPECT_TRUE(prompt.fileRequests.empty());
    EXPECT_EQ(prompt.messages, std::vector<Shown>{Failure("Ошибка чтения таблицы кабелей!", "Ошибка")});
    EXPECT_EQ(table.count, 2);
    instrument.cableReadResult = 0;
    for (int i = 0; i < 64; ++i)
        instrument.cables.records[static_cast<std::size_t>(i)] = MakeCable("ИЗ ПРИБОРА", 0, 5, 5, 5);
    for (int count : {64, 0}) {
        instrument.cables.count = static_cast<std::uint8_t>(count);
        prompt.answers = {A::No};
        d.Get();
        EXPECT_EQ(d.Rows().size(), count == 0 ? 1u : 64u);
        EXPECT_TRUE(d.Modified() && d.Unnamed());
    }
    EXPECT_FALSE(Open(false).ExchangeEnabled());
}

// Get and Load replace the table: unsaved changes are asked about first. A cancelled Get or Put
// ends as a failed one, without its message.
TEST_F(CableDocTest, GetAndLoadAskFirstAndCancelsSayNothing) {
    const std::string other = dir.File("other.cbl");
    Hold(1);
    ASSERT_TRUE(SaveTableFile(other, table));
    instrument.cables.count = 2;
    const test::ScriptedPrompt::Shown question{"Таблица  не сохранена! Сохранить?", "Сохранение",
                                               PromptIcon::Information, PromptButtons::YesNoCancel};
    // answer, save dialog's answer, goes on
    const std::tuple<A, std::optional<std::string>, bool> cases[] = {
        {A::No, {}, true}, {A::Cancel, {}, false}, {A::Yes, std::nullopt, false}, {A::Yes, "kept.cbl", true}};
    for (const bool load : {false, true}) {
        for (const auto& [answer, file, goesOn] : cases) {
            path.clear();
            Hold(3);
            Open().DeleteRow();  // unsaved: two rows
            prompt = {};
            instrument.log.clear();
            prompt.answers = {answer};
            if (answer == A::Yes) prompt.files = {file ? std::optional(dir.File(*file)) : file};
            if (load) prompt.files.push_back(other);
            load ? doc->Load() : doc->Get();
            EXPECT_EQ(prompt.messages.at(0), question);
            EXPECT_EQ(table.count, goesOn ? (load ? 1 : 2) : 2);
            EXPECT_EQ(instrument.log.size(), !load && goesOn ? 1u : 0u);
        }
    }

    path.clear();
    Hold(2);
    prompt = {};
    CableTableDocument& d = Open();
    instrument.during = [&](const std::string&) { d.Cancel(); };
    d.Get();
    prompt.answers = {A::Yes};
    d.Put();
    EXPECT_EQ(prompt.messages, std::vector<Shown>{PutQuestion});  // no failure after either
    EXPECT_EQ(instrument.cancels, 2);
    EXPECT_TRUE(table.count == 2 && !d.Modified() && d.Unnamed() && !d.Busy());
}

TEST_F(CableDocTest, LoadAndSave) {
    struct Case {
        const char* name;
        std::size_t bytes;  // 0: no such file
        int rows;           // -1: refused with the message
    };
    const Case cases[] = {
        {"missing.cbl", 0, -1}, {"big.cbl", 65 * 32, -1}, {"short.cbl", 20, 0}, {"ragged.cbl", 100, 3}};
    Hold(1);
    CableTableDocument& d = Open();
    for (const Case& c : cases) {
        if (c.bytes) test::WriteWholeFile(dir.File(c.name), std::string(c.bytes, 'y'));
        prompt.files = {dir.File(c.name)};
        prompt.messages.clear();
        d.Load();
        if (c.rows < 0) {
            EXPECT_EQ(prompt.messages,
                      std::vector<Shown>{
                          Failure(std::string("Не могу открыть файл ") + c.name + " !", "Ошибка чтения")});
            EXPECT_EQ(table.count, 1);
        } else {
            EXPECT_EQ(table.count, c.rows) << c.name;
            EXPECT_EQ(d.Title(), std::string("Кабели [") + c.name + "]");
        }
    }
    const FileDialogRequest& open = prompt.fileRequests[0];
    EXPECT_EQ(open.startFolder + open.filter + open.defaultSuffix, dir.Path() + "Файлы кабелей (*.cbl)cbl");
    prompt.files = {std::nullopt};
    d.Load();  // cancelled
    EXPECT_EQ(path, dir.File("ragged.cbl"));
    EXPECT_TRUE(d.Save());  // named and unchanged: nothing written
    EXPECT_EQ(test::ReadWholeFile(path).size(), 100u);

    path.clear();  // no name: Save asks for one, also for an unchanged table
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
        Hold(3);
        EXPECT_TRUE(Open().CloseQuery());  // unchanged: no question
        doc->DeleteRow();
        prompt.messages.clear();
        prompt.answers = {c.answer};
        if (c.answer == A::Yes) prompt.files = {c.file};
        EXPECT_EQ(doc->CloseQuery(), c.closes);
        EXPECT_EQ(prompt.messages[0], (Shown{"Таблица  не сохранена! Сохранить?", "Сохранение",
                                             PromptIcon::Information, PromptButtons::YesNoCancel}));
        EXPECT_EQ(prompt.messages.back() == Failure("Не могу записать файл x.cbl !", "Ошибка записи"),
                  c.file == bad);
    }
    path = good;
    Open().DeleteRow();
    prompt.answers = {A::Cancel};
    doc->CloseQuery();
    EXPECT_EQ(prompt.messages.back().text, "Таблица ok.cbl не сохранена! Сохранить?");
}

}  // namespace
}  // namespace zemrik
