#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
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

// Notes each showing of a dialog and runs the next scripted action in it.
class ShowWatcher : public QObject {
public:
    ShowWatcher(QWidget& dialog, bool& shown) : shown_(shown) { dialog.installEventFilter(this); }
    std::function<void()> act;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            shown_ = true;
            if (act) QTimer::singleShot(0, watched, std::exchange(act, {}));
        }
        return false;
    }

private:
    bool& shown_;
};

class CablesWindowTest : public testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void TearDown() override { QLocale::setDefault(savedLocale_); }

    std::unique_ptr<TCablesForm> Open() {
        return std::make_unique<TCablesForm>(
            nullptr, CableWindowContext{table, instrument, path, dir.Path(), prompt}, newForm);
    }
    // Runs `act` on the parameters dialog once it shows (inside its own event loop).
    void OnDialog(std::function<void()> act) {
        dialogShown = false;
        watcher_.act = std::move(act);
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
    ShowWatcher watcher_{newForm, dialogShown};
};

TEST_F(CablesWindowTest, NewWindowWithAndWithoutARememberedFile) {
    auto form = Open();
    EXPECT_EQ(form->windowTitle(), "Кабели");
    EXPECT_EQ(form->CablesGrid->rowCount(), 1);
    EXPECT_EQ(Row(*form, 0).join(""), "");
    EXPECT_FALSE(form->DelRowBtn->isEnabled());
    EXPECT_TRUE(form->InsRowBtn->isEnabled());
    EXPECT_FALSE(form->GetBtn->isEnabled());  // no port
    const QHeaderView* heading = form->CablesGrid->horizontalHeader();
    int width = 0;
    for (int c = 0; c < 5; ++c) width += heading->sectionSize(c);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->size(), QSize(width + 23, 387));
    const auto* get = form->findChild<QToolButton*>("GetBtn");
    ASSERT_NE(get, nullptr);
    EXPECT_EQ(get->toolTip(), "Загрузить таблицу из прибора");
    EXPECT_EQ(get->accessibleName(), "Загрузить таблицу из прибора");

    CableTable file;
    file.records[0] = MakeCable("ТПП", 7, 45.6f, 12.34f, 40);
    file.count = 1;
    path = dir.File("t.cbl");
    ASSERT_TRUE(SaveTableFile(path, file));
    form = Open();
    EXPECT_EQ(form->windowTitle(), "Кабели [t.cbl]");
    EXPECT_EQ(Row(*form, 0), (QStringList{"ТПП", "12,3", "45,6", "0,40", "Алюминий"}));
    EXPECT_TRUE(form->DelRowBtn->isEnabled());
}

TEST_F(CablesWindowTest, AddingUpToSixtyFourRecords) {
    auto form = Open();
    OnDialog([&] {
        Fill("кабель", "12,5", "45", "0,5");
        EXPECT_EQ(newForm.NameEdit->text(), "КАБЕЛЬ");
        QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
    });
    QTest::keyClick(form->CablesGrid, Qt::Key_Insert);
    EXPECT_TRUE(dialogShown);
    EXPECT_EQ(Row(*form, 0), (QStringList{"КАБЕЛЬ", "12,5", "45,0", "0,50", "Медь"}));
    EXPECT_TRUE(form->DelRowBtn->isEnabled());

    Hold(63);
    form = Open();
    OnDialog([&] {
        Fill("x", "1", "1", "1");
        QTest::keyClick(newForm.dEdit, Qt::Key_Return);  // Enter presses OK
    });
    QTest::mouseClick(form->findChild<QToolButton*>("InsRowBtn"), Qt::LeftButton);
    EXPECT_EQ(form->CablesGrid->rowCount(), 64);
    EXPECT_FALSE(form->InsRowBtn->isEnabled());
    OnDialog([&] { newForm.reject(); });
    QTest::keyClick(form->CablesGrid, Qt::Key_Insert);
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(table.count, 64);
}

TEST_F(CablesWindowTest, EditingARow) {
    Hold(1);
    auto form = Open();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect cell = form->CablesGrid->visualItemRect(form->CablesGrid->item(0, 1));
    OnDialog([&] { QTest::keyClick(&newForm, Qt::Key_Escape); });
    // A double click: QTest's own sends no press before it, and the view wants one.
    QTest::mouseClick(form->CablesGrid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(form->CablesGrid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(dialogShown);
    EXPECT_EQ(Row(*form, 0), (QStringList{"К0", "12,3", "45,6", "0,40", "Медь"}));
    OnDialog([&] {
        EXPECT_EQ(newForm.CEdit->text(), "45");
        EXPECT_EQ(newForm.CB->currentIndex(), 0);
        QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
    });
    QTest::keyClick(form->CablesGrid, Qt::Key_Return);
    EXPECT_EQ(Row(*form, 0), (QStringList{"К0", "12,3", "45,0", "0,40", "Медь"}));
    // Closing now asks; Cancel keeps the window.
    prompt.answers = {PromptAnswer::Cancel};
    QTest::keyClick(form->CablesGrid, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(prompt.Texts().back(), "Таблица  не сохранена! Сохранить?");
}

TEST_F(CablesWindowTest, RefusedValuesFocusTheirBox) {
    struct Step {
        const char *r, *c, *d;
        QLineEdit* focus;
        const char* message;
    };
    const Step steps[] = {{"", "1", "1", newForm.REdit, "Некорректные данные!"},
                          {"1", "999,5", "1", newForm.CEdit, "Значение вне диапазона!"},
                          {"1", "1", "2,56", newForm.dEdit, "Значение вне диапазона!"}};
    OnDialog([&] {
        for (const Step& s : steps) {
            Fill("", s.r, s.c, s.d);
            newForm.NameEdit->setFocus();
            QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
            EXPECT_TRUE(newForm.isVisible());
            EXPECT_EQ(newForm.focusWidget(), s.focus) << s.r << s.c << s.d;
            EXPECT_EQ(prompt.messages.back().text, s.message);
            EXPECT_EQ(prompt.messages.back().caption, "Ошибка");
        }
        Fill("", "999,8", "999", "2,55");
        QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
    });
    const auto result = newForm.Run(FillDialog(nullptr, ","), ",", prompt);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->r, "999,8");
    EXPECT_EQ(prompt.messages.size(), 3u);
}

TEST_F(CablesWindowTest, NameBoxFilter) {
    newForm.FillDialog({});
    QLineEdit* name = newForm.NameEdit;
    TypeText(name, "abcя中ёdefghijklmno");
    EXPECT_EQ(name->text(), "ABCЯЁDEFGHIJKL");  // 14 at most, upper case, 中 swallowed
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClicks(name, "z");
    EXPECT_EQ(name->text(), "ABCЯЁDEFGHIJKZ");
    name->clear();
    name->insert("a中b");  // pasted: not upper-cased, but 中 still cannot stay
    EXPECT_EQ(name->text(), "ab");
    EXPECT_FALSE(newForm.CB->isEditable());
    EXPECT_EQ(newForm.CB->count(), 2);
}

TEST_F(CablesWindowTest, GetAndPutWithTheEmulator) {
    CableTable held;
    for (int i = 0; i < 3; ++i)
        held.records[static_cast<std::size_t>(i)] = MakeCable("ПРИБОР " + std::to_string(i), 1, 45.6f, 28.5f,
                                                              90, static_cast<std::uint8_t>(0xA0 + i));
    held.count = 3;
    const std::string start = dir.File("sim.cbl");
    const std::string end = dir.File("sim-end.cbl");
    ASSERT_TRUE(SaveTableFile(start, held));
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
    EXPECT_EQ(written.records[1][23], 0xA2);  // whole records moved, reserved bytes included
    EXPECT_EQ(CableC(written.records[1]), 45.6f);
}

TEST_F(CablesWindowTest, TheMainWindowLendsItsTableAndPath) {
    Hold(2);
    const std::string first = dir.File("first.cbl");
    const std::string second = dir.File("second.cbl");
    ASSERT_TRUE(SaveTableFile(first, table));
    table.count = 1;
    ASSERT_TRUE(SaveTableFile(second, table));
    TZemrikForm main;
    main.FormCreate();
    main.AttachDialogs(&newForm, nullptr, nullptr, nullptr);
    main.SetPrompt(&prompt);
    main.Settings().lastCablesTbl = QString::fromStdString(first);
    bool opened = false;
    WhenModal([&](QWidget* modal) {
        auto* cables = qobject_cast<TCablesForm*>(modal);
        ASSERT_NE(cables, nullptr);
        opened = true;
        EXPECT_EQ(cables->windowTitle(), "Кабели [first.cbl]");
        prompt.files = {second};
        cables->LoadBtn->trigger();
        cables->reject();  // unchanged: closes without a question
    });
    main.CablesBtn->trigger();
    EXPECT_TRUE(opened);
    EXPECT_EQ(main.Cables().count, 1);  // the table and the path outlive the window
    EXPECT_EQ(main.Settings().lastCablesTbl.toStdString(), second);
    EXPECT_TRUE(prompt.messages.empty());
}

}  // namespace
}  // namespace zemrik
