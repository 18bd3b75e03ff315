#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/MainWindow.h"
#include "app/WaitDialog.h"
#include "gui/GuiTestSupport.h"
#include "measurement/MeasurementDisplay.h"
#include "measurement/MeasurementFile.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace {

using zemrik::MeasurementRecord;

MeasurementRecord Rec(int i) {
    return zemrik::test::RecordBuilder("ЛИНИЯ " + std::to_string(i))
        .Filler(7 + i)
        .Kind(i)
        .Sections(1)
        .Section(0, "ТПП", 0, 45.0f, 278.0f, 1234.5f, 40)
        .Temp(43);
}

QString Line(int i) { return QString::fromUtf8(zemrik::AnsiToUtf8(zemrik::ListLine(Rec(i)))); }

// The main window on the emulator, which holds three records, as COM 1 of the settings; COM 2
// names a device that is not there. Questions are answered by script.
class MainWindowTest : public testing::Test {
protected:
    void SetUp() override {
        zemrik::MeasurementList list;
        for (int i = 0; i < 3; ++i) list.slots[i] = Rec(i);
        list.count = 3;
        zemrik::FileHeader header{};
        file_ = dir_.filePath(QStringLiteral("three.zmk"));
        ASSERT_TRUE(zemrik::WriteMeasurementFile(file_.toStdString(), list, header));
        // Each reply waits a little, so the events of a Get run while it is under way.
        ASSERT_TRUE(
            sim_.Start(ZEMRIK_SIM_PATH, {"--no-stdin", "--delay", "30", "--records", file_.toStdString()}))
            << sim_.Error();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings store(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"));
        store.setValue(QStringLiteral("AppPath"), dir_.path());
        store.setValue(QStringLiteral("ComNumber"), 1);
        store.setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(sim_.SlavePath()));
        store.setValue(QStringLiteral("Ports/COM2"), dir_.filePath(QStringLiteral("no-such-tty")));
        store.sync();

        waitForm_ = new WaitDialog(&form_);
        form_.FormCreate();
        form_.AttachDialogs(nullptr, nullptr, nullptr, waitForm_);
        form_.SetPrompt(&prompt_);
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }
    QWidget* Button(const char* name) { return form_.ToolBar1->findChild<QWidget*>(QLatin1String(name)); }

    QTemporaryDir dir_;
    QString file_;
    zemrik::test::SimProcess sim_;
    zemrik::test::ScriptedPrompt prompt_;
    MainWindow form_;
    WaitDialog* waitForm_ = nullptr;
};

TEST_F(MainWindowTest, GetFillsListPanelAndTitleAndNothingRunsUnderIt) {
    ASSERT_TRUE(form_.OpenAtStart(file_));
    EXPECT_EQ(form_.windowTitle(), QStringLiteral("Zemrik   [three.zmk]"));
    ASSERT_TRUE(form_.MeasMenuGet->isEnabled());

    int probes = 0;
    // Runs from the event loop that the exchange keeps turning while it waits for the emulator.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(form_.Document().Busy());
        ++probes;
        for (QAction* a : {form_.MeasMenuOpen, form_.MeasMenuSave, form_.MeasMenuGet, form_.MeasMenuPut,
                           form_.MeasMenuDel, form_.CablesMenu, form_.MenuCom1, form_.HelpMenuAbout})
            EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
        EXPECT_FALSE(form_.LB->isEnabled());
        QTest::mouseClick(Button("DelBtn"), Qt::LeftButton);
        QTest::keyClick(&form_, Qt::Key_G, Qt::ControlModifier);
        form_.GetBtnClick();
        EXPECT_FALSE(form_.close());
    });
    QTest::mouseClick(Button("GetBtn"), Qt::LeftButton);

    EXPECT_EQ(probes, 1);
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(waitForm_->ProgressBar()->value(), 3);
    ASSERT_EQ(form_.LB->count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(form_.LB->item(i)->text(), Line(i));
    EXPECT_EQ(form_.LB->currentRow(), 0);
    EXPECT_EQ(form_.windowTitle(), QStringLiteral("Zemrik"));
    EXPECT_TRUE(form_.Document().FromInstrument() && form_.Document().Modified());

    QTest::keyClick(form_.LB, Qt::Key_Down);  // the panel follows the list
    EXPECT_EQ(form_.dRLbl->text().toStdString(),
              zemrik::ShowMeasurement(Rec(1), QLocale().decimalPoint().toStdString()).dRLbl);
}

// A switch to a COM port that cannot open: the error box with its reason, the mark stays.
TEST_F(MainWindowTest, ComSwitchThatFails) {
    ASSERT_TRUE(form_.Connection().IsOpen());
    QString text, reason;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->windowTitle() + QLatin1Char('|') + box->text();
        reason = box->informativeText();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    form_.MenuCom2->trigger();
    EXPECT_EQ(text, QStringLiteral("Ошибка|Ошибка открытия COM порта!"));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_FALSE(form_.Connection().IsOpen() || form_.MeasMenuGet->isEnabled() ||
                 form_.MenuCom2->isChecked());
    EXPECT_TRUE(form_.MenuCom1->isChecked());
}

// `zemrik --port PATH` opens the device in place of the stored COM port's, and even when the
// settings name no port (a first start).
TEST_F(MainWindowTest, PortNamedAtStartOpensOnAFirstStart) {
    form_.Connection().Close();
    // With settings naming COM 2 (a device that is not there) the path named stands in for it.
    QSettings(QStringLiteral("Zemrik"), QStringLiteral("Zemrik")).setValue(QStringLiteral("ComNumber"), 2);
    {
        MainWindow named;
        named.SetPortOverride(QString::fromStdString(sim_.SlavePath()));
        named.FormCreate();
        EXPECT_TRUE(named.Connection().IsOpen() && named.MenuCom2->isChecked());
    }
    QTemporaryDir fresh;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, fresh.path());
    MainWindow first;
    first.SetPortOverride(QString::fromStdString(sim_.SlavePath()));
    first.FormCreate();
    EXPECT_TRUE(first.Connection().IsOpen() && first.MeasMenuGet->isEnabled());
}

// What a screen reader gets through Qt's accessibility layer: each icon-only tool button is named
// by its hint, and a value label is described by its caption.
TEST_F(MainWindowTest, ScreenReadersGetNamesForIconButtonsAndValues) {
    int buttons = 0;
    for (QToolButton* button : form_.ToolBar1->findChildren<QToolButton*>()) {
        if (button->defaultAction() == nullptr || !button->isVisible()) continue;
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(access, nullptr);
        EXPECT_FALSE(access->text(QAccessible::Name).isEmpty()) << button->objectName().toStdString();
        EXPECT_EQ(access->text(QAccessible::Name), button->defaultAction()->toolTip());
        ++buttons;
    }
    EXPECT_EQ(buttons, 6);
    QAccessibleInterface* rs = QAccessible::queryAccessibleInterface(form_.RsLbl);
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->text(QAccessible::Description), QStringLiteral("Rs:"));
}

// "Отчет..." and "Экспорт CSV..." sit in "Измерения" and need records; the report opens its dialog.
TEST_F(MainWindowTest, ReportAndExportNeedRecords) {
    EXPECT_FALSE(form_.MeasMenuReport->isEnabled() || form_.MeasMenuExport->isEnabled());
    ASSERT_TRUE(form_.OpenAtStart(file_));
    EXPECT_TRUE(form_.MeasMenuReport->isEnabled() && form_.MeasMenuExport->isEnabled());
    QList<QAction*> meas;
    for (QObject* holder : form_.MeasMenuOpen->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(holder)) meas = menu->actions();
    EXPECT_TRUE(meas.contains(form_.MeasMenuReport) && meas.contains(form_.MeasMenuExport));
    QString title;
    WhenModal([&](QWidget* modal) {
        title = modal->windowTitle();
        modal->close();
    });
    form_.MeasMenuReport->trigger();
    EXPECT_FALSE(title.isEmpty());
}

// The section panel is a grid: captions in one column, C and d in the next, R, the material and
// the length in the last, each caption on its value's line.
TEST_F(MainWindowTest, SectionPanelLinesUpCaptionsAndValues) {
    const auto caption = [&](const char* text) {
        for (QLabel* label : form_.findChildren<QLabel*>())
            if (label->text() == QString::fromUtf8(text) && label->objectName().isEmpty()) return label->geometry();
        ADD_FAILURE() << "no caption " << text;
        return QRect();
    };
    const QRect c = caption("C:"), d = caption("d:"), length = caption("Длина:");
    EXPECT_EQ(std::vector<int>({c.x(), d.x(), length.x()}), std::vector<int>(3, c.x()));
    EXPECT_EQ(std::vector<int>({c.center().y(), d.center().y(), length.center().y()}),
              std::vector<int>({form_.CLbl->geometry().center().y(), form_.dLbl->geometry().center().y(),
                                form_.LLbl->geometry().center().y()}));
    EXPECT_EQ(form_.CLbl->x(), form_.dLbl->x());
    EXPECT_EQ(std::vector<int>({form_.MaterialLbl->x(), form_.LLbl->x()}), std::vector<int>(2, caption("R:").x()));
    EXPECT_EQ(form_.MaterialLbl->geometry().right(), form_.RLbl->geometry().right());
}

}  // namespace
