#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <functional>
#include <memory>
#include <utility>

#include "app/Main.h"
#include "app/PortSession.h"
#include "cables/CableTableFile.h"
#include "cables/Cablesdlg.h"
#include "cables/New.h"
#include "gui/GuiTestSupport.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::MakeCable;

class CablesWindowTest : public testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void TearDown() override { QLocale::setDefault(savedLocale_); }

    std::unique_ptr<TCablesForm> Open() {
        return std::make_unique<TCablesForm>(
            nullptr, CableWindowContext{table, instrument, path, dir.Path(), prompt}, newForm);
    }
    // Runs `act` in the parameters dialog once it shows (inside its own event loop).
    void OnDialog(std::function<void()> act) {
        dialogShown = false;
        WhenModal([this, act = std::move(act)](QWidget* modal) {
            dialogShown = modal == &newForm;
            act();
        });
    }
    void Fill(const char* name, const char* r, const char* c, const char* d) {
        newForm.NameEdit->clear();
        TypeText(newForm.NameEdit, name);
        newForm.REdit->setText(r);
        newForm.CEdit->setText(c);
        newForm.dEdit->setText(d);
    }
    static QStringList Row(const TCablesForm& form, int row) {
        QStringList cells;
        for (int c = 0; c < 5; ++c) {
            const QTableWidgetItem* item = form.CablesGrid->item(row, c);
            cells << (item ? item->text() : QString());
        }
        return cells;
    }
    void Hold(int count) {
        for (int i = 0; i < count; ++i)
            table.records[static_cast<std::size_t>(i)] =
                MakeCable("К" + std::to_string(i), 0, 45.6f, 12.34f, 40);
        table.count = static_cast<std::uint8_t>(count);
    }

    const QLocale savedLocale_;
    test::TempFolder dir;
    CableTable table;
    std::string path;
    InstrumentCommands* instrument = nullptr;
    test::ScriptedPrompt prompt;
    TNewForm newForm;
    bool dialogShown = false;
};

// The commands follow the table, the keys and the mouse reach the dialog, closing asks.
TEST_F(CablesWindowTest, CommandsKeysAndCloseQuestion) {
    Hold(63);
    path = dir.File("t.cbl");
    ASSERT_TRUE(SaveTableFile(path, table));
    auto form = Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->windowTitle(), "Кабели [t.cbl]");
    EXPECT_EQ(Row(*form, 0), (QStringList{"К0", "12,3", "45,6", "0,40", "Медь"}));
    EXPECT_TRUE(form->DelRowBtn->isEnabled() && form->InsRowBtn->isEnabled());
    EXPECT_FALSE(form->GetBtn->isEnabled());  // no port
    OnDialog([&] {
        Fill("x", "1", "1", "1");
        QTest::keyClick(newForm.dEdit, Qt::Key_Return);  // Enter presses OK
    });
    QTest::keyClick(form->CablesGrid, Qt::Key_Insert);
    EXPECT_EQ(form->CablesGrid->rowCount(), 64);
    EXPECT_EQ(Row(*form, 0), (QStringList{"X", "1,0", "1,0", "1,00", "Медь"}));
    EXPECT_FALSE(form->InsRowBtn->isEnabled());
    QTest::keyClick(form->CablesGrid, Qt::Key_Insert);  // the 65th: no dialog to wait in
    EXPECT_EQ(table.count, 64);

    // A double click edits: QTest's own sends no press before it, and the view wants one.
    const QRect cell = form->CablesGrid->visualItemRect(form->CablesGrid->item(1, 1));
    OnDialog([&] { QTest::keyClick(&newForm, Qt::Key_Escape); });
    QTest::mouseClick(form->CablesGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form->CablesGrid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(dialogShown);
    prompt.answers = {PromptAnswer::Cancel};
    QTest::keyClick(form->CablesGrid, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(prompt.Texts().back(), "Таблица t.cbl не сохранена! Сохранить?");
}

// A refused value puts the focus in its box, and the dialog stays until the values pass.
TEST_F(CablesWindowTest, RefusedValuesFocusTheirBox) {
    const std::tuple<const char*, const char*, const char*, QLineEdit*> steps[] = {
        {"", "1", "1", newForm.REdit}, {"1", "999,5", "1", newForm.CEdit}, {"1", "1", "2,56", newForm.dEdit}};
    OnDialog([&] {
        for (const auto& [r, c, d, focus] : steps) {
            Fill("", r, c, d);
            newForm.NameEdit->setFocus();
            QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
            EXPECT_TRUE(newForm.isVisible());
            EXPECT_EQ(newForm.focusWidget(), focus) << r << c << d;
        }
        Fill("", "999,8", "999", "2,55");
        QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
    });
    const auto result = newForm.Run(FillDialog(nullptr, ","), ",", prompt);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->r, "999,8");
    EXPECT_EQ(prompt.Texts(), (std::vector<std::string>{"Некорректные данные!", "Значение вне диапазона!",
                                                        "Значение вне диапазона!"}));
}

TEST_F(CablesWindowTest, NameBoxFilter) {
    newForm.FillDialog({});
    QLineEdit* name = newForm.NameEdit;
    TypeText(name, "abcя中ёdefghijklmno");
    EXPECT_EQ(name->text(), "ABCЯЁDEFGHIJKL");  // 14 at most, upper case, 中 swallowed
    name->clear();
    name->insert("a中b");  // pasted: not upper-cased, but 中 still cannot stay
    EXPECT_EQ(name->text(), "ab");
}

TEST_F(CablesWindowTest, GetAndPutWithTheEmulator) {
    Hold(3);
    table.records[2] = MakeCable("ПРИБОР 2", 1, 45.6f, 28.5f, 90, 0xA2);
    const std::string start = dir.File("sim.cbl"), end = dir.File("sim-end.cbl");
    ASSERT_TRUE(SaveTableFile(start, table));
    table.count = 0;
    test::SimProcess sim;
    ASSERT_TRUE(sim.Start(ZEMRIK_SIM_PATH, {"--cables", start, "--save-cables", end, "--no-stdin"}))
        << sim.Error();
    PortSession session;
    session.SetPortOverride(QString::fromStdString(sim.SlavePath()));
    QString reason;
    ASSERT_TRUE(session.OpenCom(1, reason)) << reason.toStdString();
    instrument = &session.Instrument();

    auto form = Open();
    form->show();
    form->activateWindow();  // no window manager under xvfb to do it
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    ASSERT_TRUE(form->GetBtn->isEnabled());
    bool disabledDuringGet = false;  // the window's commands wait for the exchange
    QObject::connect(form->LoadBtn, &QAction::enabledChanged, [&](bool on) { disabledDuringGet |= !on; });
    QTest::keyClick(form->CablesGrid, Qt::Key_G, Qt::ControlModifier);  // the keyboard's way to Get
    EXPECT_TRUE(disabledDuringGet && form->LoadBtn->isEnabled());
    ASSERT_EQ(form->CablesGrid->rowCount(), 3);
    EXPECT_EQ(Row(*form, 2), (QStringList{"ПРИБОР 2", "28,5", "45,6", "0,90", "Алюминий"}));
    EXPECT_EQ(form->windowTitle(), "Кабели");
    form->CablesGrid->setCurrentCell(1, 0);
    QTest::keyClick(form->CablesGrid, Qt::Key_Delete);
    prompt.answers = {PromptAnswer::Yes};
    form->PutBtn->trigger();
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Записать таблицу в прибор?"});  // and no failure
    session.Close();
    ASSERT_TRUE(sim.Stop(SIGTERM).value_or(test::ChildExit{}).Clean());
    CableTable written;
    ASSERT_TRUE(LoadTableFile(end, written));
    ASSERT_EQ(written.count, 2);
    EXPECT_EQ(written.records[1], (MakeCable("ПРИБОР 2", 1, 45.6f, 28.5f, 90, 0xA2)));  // reserved bytes too
}

// The main window lends its table and remembered path; both outlive the cables window.
TEST_F(CablesWindowTest, TheMainWindowLendsItsTableAndPath) {
    Hold(2);
    const std::string first = dir.File("first.cbl"), second = dir.File("second.cbl");
    ASSERT_TRUE(SaveTableFile(first, table));
    table.count = 1;
    ASSERT_TRUE(SaveTableFile(second, table));
    TZemrikForm main;
    main.FormCreate();
    main.AttachDialogs(&newForm, nullptr, nullptr, nullptr);
    main.SetPrompt(&prompt);
    main.Settings().lastCablesTbl = QString::fromStdString(first);
    QString title;
    WhenModal([&](QWidget* modal) {
        auto* cables = qobject_cast<TCablesForm*>(modal);
        ASSERT_NE(cables, nullptr);
        title = cables->windowTitle();
        prompt.files = {second};
        cables->LoadBtn->trigger();
        cables->reject();  // unchanged: closes without a question
    });
    main.CablesBtn->trigger();
    EXPECT_EQ(title, "Кабели [first.cbl]");
    EXPECT_EQ(main.Cables().count, 1);
    EXPECT_EQ(main.Settings().lastCablesTbl.toStdString(), second);
    EXPECT_TRUE(prompt.messages.empty());
}

}  // namespace
}  // namespace zemrik
