// Which of the windows' commands are enabled outside an exchange, and that every menu shortcut
// runs its command. The instrument is a fake behind the list; an open port is a terminal nobody
// answers on.
#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <functional>
#include <string>

#include "app/CableDialog.h"
#include "app/CableTableWindow.h"
#include "app/MainWindow.h"
#include "gui/GuiTestSupport.h"
#include "measurement/MeasurementFile.h"
#include "support/FakeInstrument.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace {

using zemrik::PromptAnswer;
using Kind = zemrik::FileDialogRequest::Kind;

class MainWindowCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        // No settings: the window opens no port of its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        for (const auto& [name, count] : {std::pair{"three.zmk", 3}, std::pair{"none.zmk", 0}}) {
            zemrik::MeasurementList list;
            list.count = static_cast<std::uint8_t>(count);
            for (int i = 0; i < count; ++i) list.slots[i] = zemrik::test::RecordBuilder("R").Kind(i);
            zemrik::FileHeader header{};
            ASSERT_TRUE(zemrik::WriteMeasurementFile(File(name), list, header));
        }
        for (int i = 0; i < 3; ++i) records_.push_back(zemrik::test::RecordBuilder("I").Kind(i));
        instrument_.records = records_;
        ASSERT_TRUE(pty_.OpenNew());
    }
    std::string File(const char* name) const { return dir_.filePath(QLatin1String(name)).toStdString(); }
    // A window whose list answers to the fake instrument and whose port is open or not.
    std::unique_ptr<MainWindow> Window(bool portOpen) {
        auto form = std::make_unique<MainWindow>();
        form->SetPrompt(&prompt_);
        form->Document().SetInstrument(&instrument_);
        if (portOpen) {
            EXPECT_EQ(form->Connection().Open(1, pty_.SlavePath()), zemrik::DeviceError::None);
        }
        return form;
    }

    QTemporaryDir dir_;
    zemrik::test::RawTerminal pty_;
    std::vector<zemrik::MeasurementRecord> records_;
    zemrik::test::FakeInstrument instrument_;
    zemrik::test::ScriptedPrompt prompt_;
};

// Save and Save As need records that are modified or from the instrument, Get an open port, Put
// and Delete records; the rest is always enabled.
TEST_F(MainWindowCommandsTest, EnabledCommandsFollowTheListAndThePort) {
    using Step = std::function<void(MainWindow&)>;
    const auto open = [this](const char* name) {
        return [this, name](MainWindow& w) { w.OpenAtStart(QString::fromStdString(File(name))); };
    };
    const Step get = [](MainWindow& w) { w.GetBtnClick(); };
    const struct {
        const char* state;
        std::vector<Step> steps;
        const char* closed;  // enabled: Save, Save As, Get, Put, Delete with the port closed
    } rows[] = {
        {"empty", {}, "-----"},
        {"a file's records", {open("three.zmk")}, "---PD"},
        {"a file's records renamed",
         {open("three.zmk"),
          [this](MainWindow& w) {
              prompt_.names = {"X"};
              w.LBDblClick();
          }},
         "SS-PD"},
        {"an empty file", {open("none.zmk")}, "-----"},
        {"empty, Delete pressed", {[](MainWindow& w) { w.DelBtnClick(); }}, "-----"},
        {"the instrument's records", {get}, "SS-PD"},
        {"the instrument's records, all deleted",
         {get,
          [](MainWindow& w) {
              w.LB->selectAll();
              w.DelBtnClick();
          }},
         "-----"},
        {"the instrument's records, saved",
         {get,
          [this](MainWindow& w) {
              prompt_.files = {File("saved.zmk")};
              w.MeasMenuSaveAsClick();
          }},
         "---PD"},
    };
    for (const auto& row : rows) {
        for (const bool portOpen : {false, true}) {
            SCOPED_TRACE(std::string(row.state) + (portOpen ? ", port open" : ", port closed"));
            instrument_.records = records_;
            std::unique_ptr<MainWindow> form = Window(portOpen);
            for (const Step& step : row.steps) step(*form);
            form->UpdateCommands();
            std::string enabled;
            for (const auto& [action, letter] : {std::pair{form->MeasMenuSave, 'S'},
                                                 {form->MeasMenuSaveAs, 'S'},
                                                 {form->MeasMenuGet, 'G'},
                                                 {form->MeasMenuPut, 'P'},
                                                 {form->MeasMenuDel, 'D'}})
                enabled += action->isEnabled() ? letter : '-';
            std::string expected = row.closed;
            if (portOpen) expected[2] = 'G';
            EXPECT_EQ(enabled, expected);
            for (QAction* always : {form->MeasMenuOpen, form->MeasMenuExit, form->CablesBtn, form->CablesMenu,
                                    form->MenuCom1, form->MenuCom2, form->HelpMenuAbout})
                EXPECT_TRUE(always->isEnabled()) << always->objectName().toStdString();
            EXPECT_TRUE(prompt_.answers.empty() && prompt_.files.empty() && prompt_.names.empty());
        }
    }
}

// Ctrl+O, Ctrl+G, Ctrl+S, Ctrl+P, Ctrl+D (and Delete in the list), Ctrl+X in the main window.
TEST_F(MainWindowCommandsTest, EveryShortcutRunsItsCommand) {
    std::unique_ptr<MainWindow> form = Window(true);
    form->show();
    form->activateWindow();  // no window manager under xvfb to do it
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QTest::keyClick(form->LB, key, modifiers);
    };

    prompt_.files = {File("three.zmk")};
    press(Qt::Key_O);
    ASSERT_EQ(prompt_.fileRequests.size(), 1u);
    EXPECT_EQ(prompt_.fileRequests[0].kind, Kind::Open);
    EXPECT_EQ(form->LB->count(), 3);

    instrument_.records.resize(2);
    press(Qt::Key_G);
    EXPECT_EQ(instrument_.log, (std::vector<std::string>{"root", "read 0", "read 1"}));
    EXPECT_EQ(form->LB->count(), 2);

    prompt_.files = {File("saved.zmk")};
    press(Qt::Key_S);
    ASSERT_EQ(prompt_.fileRequests.size(), 2u);
    EXPECT_EQ(prompt_.fileRequests[1].kind, Kind::Save);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Zemrik   [saved.zmk]"));

    prompt_.answers = {PromptAnswer::No};
    press(Qt::Key_P);
    EXPECT_EQ(prompt_.Texts(), std::vector<std::string>{"Записать в прибор?"});

    form->LB->setCurrentRow(0);
    press(Qt::Key_D);
    EXPECT_EQ(form->LB->count(), 1);
    form->LB->setCurrentRow(0);
    press(Qt::Key_Delete, Qt::NoModifier);
    EXPECT_EQ(form->LB->count(), 0);

    prompt_.answers = {PromptAnswer::Cancel};
    press(Qt::Key_X);
    EXPECT_EQ(prompt_.Texts().back(), "Файл не сохранен! Сохранить?");
    EXPECT_TRUE(form->isVisible());
    prompt_.answers = {PromptAnswer::No};
    press(Qt::Key_X);
    EXPECT_FALSE(form->isVisible());
}

// Ctrl+O, Ctrl+S, Ctrl+G and Ctrl+P in the cable table window.
TEST_F(MainWindowCommandsTest, EveryCableWindowShortcutRunsItsCommand) {
    zemrik::CableTable table;
    std::string lastTable;
    CableDialog newForm;
    CableTableWindow form(nullptr, zemrik::CableWindowContext{table, &instrument_, lastTable, "", prompt_},
                          newForm);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    prompt_.files = {std::nullopt, std::nullopt};
    QTest::keyClick(form.CablesGrid, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(form.CablesGrid, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(prompt_.fileRequests.size(), 2u);
    EXPECT_EQ(prompt_.fileRequests[0].kind, Kind::Open);
    EXPECT_EQ(prompt_.fileRequests[1].kind, Kind::Save);
    prompt_.answers = {PromptAnswer::Yes};
    QTest::keyClick(form.CablesGrid, Qt::Key_G, Qt::ControlModifier);
    QTest::keyClick(form.CablesGrid, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(instrument_.log, (std::vector<std::string>{"cables get", "cables put"}));
}

}  // namespace
