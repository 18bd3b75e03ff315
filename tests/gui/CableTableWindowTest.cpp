#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <memory>

#include "app/CableDialog.h"
#include "app/CableTableWindow.h"
#include "app/QtMessagePump.h"
#include "cables/CableTableFile.h"
#include "gui/GuiTestSupport.h"
#include "protocol/InstrumentConnection.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using test::MakeCable;

class CableTableWindowTest : public testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
    void TearDown() override { QLocale::setDefault(savedLocale_); }

    const QLocale savedLocale_;
    test::TempFolder dir;
    CableTable table;
    std::string path;
    test::ScriptedPrompt prompt;
    CableDialog newForm;
};

// A refused value puts the focus in its box, and the dialog stays until the values pass.
TEST_F(CableTableWindowTest, RefusedValuesFocusTheirBox) {
    const std::tuple<const char*, const char*, const char*, QLineEdit*> steps[] = {
        {"", "1", "1", newForm.REdit},
        {"1", "999,5", "1", newForm.CEdit},
        {"1", "1", "2,56", newForm.dEdit},
        {"999,8", "999", "2,55", nullptr}};
    WhenModal([&](QWidget*) {
        for (const auto& [r, c, d, focus] : steps) {
            newForm.REdit->setText(r);
            newForm.CEdit->setText(c);
            newForm.dEdit->setText(d);
            newForm.NameEdit->setFocus();
            QTest::mouseClick(newForm.OkBtn, Qt::LeftButton);
            if (focus) {
                EXPECT_EQ(newForm.focusWidget(), focus) << r << c << d;
            }
        }
    });
    const auto result = newForm.Run(FillDialog(nullptr, ","), ",", prompt);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->r, "999,8");
    EXPECT_EQ(prompt.Texts(), (std::vector<std::string>{"Некорректные данные!", "Значение вне диапазона!",
                                                        "Значение вне диапазона!"}));
}

// A name of 14 of the widest letters fits its column, cell margins included.
TEST_F(CableTableWindowTest, NameColumnHoldsFourteenWideLetters) {
    CableTableWindow form(nullptr, CableWindowContext{table, nullptr, path, dir.Path(), prompt}, newForm);
    const QFontMetrics metrics(form.CablesGrid->font());
    for (const char* name : {"ЖЖЖЖЖЖЖЖЖЖЖЖЖЖ", "ШШШШШШШШШШШШШШ", "WWWWWWWWWWWWWW", "AL CABLE 10X2X"})
        EXPECT_GE(form.CablesGrid->columnWidth(0), metrics.horizontalAdvance(QString::fromUtf8(name)) + 6)
            << name;
}

TEST_F(CableTableWindowTest, GetAndPutWithTheEmulator) {
    const CableRecord second = MakeCable("ПРИБОР 2", 1, 45.6f, 28.5f, 90, 0xA2);
    table.records[0] = table.records[1] = MakeCable("К", 0, 45.6f, 12.34f, 40);
    table.records[2] = second;
    table.count = 3;
    const std::string start = dir.File("sim.cbl"), end = dir.File("sim-end.cbl");
    ASSERT_TRUE(SaveTableFile(start, table));
    table.count = 0;
    test::SimProcess sim;
    ASSERT_TRUE(sim.Start(ZEMRIK_SIM_PATH, {"--cables", start, "--save-cables", end, "--no-stdin"}))
        << sim.Error();
    QtMessagePump pump;
    InstrumentConnection connection(pump.Calls(), pump.Step());
    ASSERT_EQ(connection.Open(1, sim.SlavePath()), DeviceError::None);

    CableTableWindow form(nullptr, CableWindowContext{table, &connection.Device(), path, dir.Path(), prompt},
                          newForm);
    form.show();
    form.activateWindow();  // no window manager under xvfb to do it
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    bool disabledDuringGet = false;  // the window's commands wait for the exchange
    QObject::connect(form.LoadBtn, &QAction::enabledChanged, [&](bool on) { disabledDuringGet |= !on; });
    QTest::keyClick(form.CablesGrid, Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(disabledDuringGet && form.LoadBtn->isEnabled());
    ASSERT_EQ(form.CablesGrid->rowCount(), 3);
    EXPECT_EQ(form.CablesGrid->item(2, 4)->text(), "Алюминий");
    form.CablesGrid->setCurrentCell(1, 0);
    QTest::keyClick(form.CablesGrid, Qt::Key_Delete);
    prompt.answers = {PromptAnswer::Yes};
    form.PutBtn->trigger();
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Записать таблицу в прибор?"});  // and no failure
    connection.Close();
    ASSERT_TRUE(sim.Stop(SIGTERM).value_or(test::ChildExit{}).Clean());
    CableTable written;
    ASSERT_TRUE(LoadTableFile(end, written));
    ASSERT_EQ(written.count, 2);
    EXPECT_EQ(written.records[1], second);  // reserved bytes too
}

}  // namespace
}  // namespace zemrik
