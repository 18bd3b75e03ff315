// The windows under faults against the emulator: the wait box's "Отмена" and Esc, a stop signal
// inside an exchange, a Delete refused because the instrument's memory changed, the status line.
#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/CableDialog.h"
#include "app/CableTableWindow.h"
#include "app/MainWindow.h"
#include "app/WaitDialog.h"
#include "cables/CableTableFile.h"
#include "measurement/MeasurementFile.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace {

using zemrik::PromptAnswer;
using Shown = zemrik::test::ScriptedPrompt::Shown;

// Calls `act` from the event loop a running exchange turns, once `ready` holds.
void When(std::function<bool()> ready, std::function<void()> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, ready = std::move(ready), act = std::move(act)] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        act();
    });
    timer->start();
}

class ExchangeFaultsTest : public testing::Test {
protected:
    // The emulator with four records, each reply `delayMs` late, as COM 1.
    void Start(int delayMs) {
        zemrik::MeasurementList list;
        for (int i = 0; i < 4; ++i)
            list.slots[static_cast<std::size_t>(i)] =
                zemrik::test::RecordBuilder("ЗАПИСЬ " + std::to_string(i)).Kind(i).Temp(40);
        list.count = 4;
        zemrik::FileHeader header{};
        const std::string file = dir_.filePath(QStringLiteral("four.zmk")).toStdString();
        ASSERT_TRUE(zemrik::WriteMeasurementFile(file, list, header));
        zemrik::CableTable cables;
        cables.records[0] = zemrik::test::MakeCable("ТПП", 0, 45.0f, 278.0f, 40);
        cables.count = 1;
        const std::string cableFile = dir_.filePath(QStringLiteral("one.cbl")).toStdString();
        ASSERT_TRUE(zemrik::SaveTableFile(cableFile, cables));
        ASSERT_TRUE(sim_.Start(
            ZEMRIK_SIM_PATH, {"--delay", std::to_string(delayMs), "--records", file, "--cables", cableFile}))
            << sim_.Error();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings store(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"));
        store.setValue(QStringLiteral("AppPath"), dir_.path());
        store.setValue(QStringLiteral("ComNumber"), 1);
        store.setValue(QStringLiteral("Ports/COM1"), QString::fromStdString(sim_.SlavePath()));
        store.sync();
        waitForm_ = new WaitDialog(&form_);
        form_.FormCreate();
        form_.AttachDialogs(&newForm_, nullptr, nullptr, waitForm_);
        form_.SetPrompt(&prompt_);
        form_.show();
        ASSERT_TRUE(form_.Connection().IsOpen());
    }
    void Get(bool dropUnsaved = false) {
        if (dropUnsaved) prompt_.answers.push_back(PromptAnswer::No);
        form_.MeasMenuGet->trigger();
    }
    QString Status() const { return form_.statusBar()->currentMessage(); }

    QTemporaryDir dir_;
    zemrik::test::SimProcess sim_;
    zemrik::test::ScriptedPrompt prompt_;
    MainWindow form_;
    CableDialog newForm_;
    WaitDialog* waitForm_ = nullptr;
};

// "Отмена" ends the Get at the byte it waits for, long before that byte's time-out: the records
// read before stay, nothing is reported as a failure, and the next command handshakes afresh.
// Esc in the wait box does the same for a Put.
TEST_F(ExchangeFaultsTest, CancelEndsTheExchangeAndKeepsWhatCame) {
    Start(1000);
    QElapsedTimer sinceCancel;
    When([&] { return form_.Document().Count() >= 1 && waitForm_->isVisible(); },
         [&] {
             EXPECT_EQ(waitForm_->windowTitle(), QStringLiteral("Загрузка"));
             sinceCancel.start();
             QTest::mouseClick(waitForm_->CancelBtn(), Qt::LeftButton);
         });
    Get();
    EXPECT_LT(sinceCancel.elapsed(), 500);  // a reply 1 s late was not waited for
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(form_.LB->count(), 1);
    EXPECT_EQ(Status(), QStringLiteral("Считано 1 из 4: отменено"));
    EXPECT_FALSE(waitForm_->isVisible());
    EXPECT_TRUE(form_.Connection().IsOpen() && form_.MeasMenuGet->isEnabled());

    form_.LB->selectAll();
    prompt_.answers.push_back(PromptAnswer::Yes);  // "Записать в прибор?"
    When([&] { return waitForm_->isVisible(); },
         [&] {
             EXPECT_EQ(waitForm_->windowTitle(), QStringLiteral("Запись"));
             QTest::keyClick(waitForm_, Qt::Key_Escape);
         });
    form_.MeasMenuPut->trigger();
    EXPECT_EQ(Status(), QStringLiteral("Записано 0 из 1: отменено"));
    EXPECT_EQ(prompt_.messages.size(), 1u);  // the question only

    Get(true);  // the line is clean again: every record comes
    EXPECT_EQ(form_.LB->count(), 4);
    EXPECT_EQ(Status(), QStringLiteral("Считано записей: 4"));
}

// A stop signal inside an exchange ends it, then closes the window as its close box does,
// unsaved-changes question included.
TEST_F(ExchangeFaultsTest, StopSignalCancelsThenClosesWithTheQuestion) {
    Start(1000);
    When([&] { return form_.Document().Count() >= 1; }, [&] { form_.StopRequested(); });
    prompt_.answers.push_back(PromptAnswer::No);  // "Файл не сохранен! Сохранить?"
    Get();
    QTRY_VERIFY_WITH_TIMEOUT(!form_.isVisible(), 5000);
    const Shown question{"Файл не сохранен! Сохранить?", "Сообщение", zemrik::PromptIcon::Information,
                         zemrik::PromptButtons::YesNoCancel};
    EXPECT_EQ(prompt_.messages, std::vector<Shown>{question});
    EXPECT_FALSE(form_.Connection().IsOpen());
}

// Records deleted on the instrument's own keys after the Get: Delete refuses, in the instrument
// and in the list; read again, the list deletes the right record. The status line counts.
TEST_F(ExchangeFaultsTest, DeleteRefusedWhenTheInstrumentChanged) {
    Start(0);
    Get();
    ASSERT_EQ(form_.LB->count(), 4);
    ASSERT_EQ(sim_.Console("delete 0"), "deleted 0");
    form_.LB->setCurrentRow(2);
    form_.MeasMenuDel->trigger();
    const Shown changed{"Записи в приборе изменились после чтения. Считайте записи заново.", "Удаление",
                        zemrik::PromptIcon::Warning, zemrik::PromptButtons::Ok};
    EXPECT_EQ(prompt_.messages, std::vector<Shown>{changed});
    EXPECT_EQ(form_.LB->count(), 4);

    Get(true);
    prompt_ = {};
    ASSERT_EQ(form_.LB->count(), 3);
    form_.LB->setCurrentRow(1);
    form_.MeasMenuDel->trigger();
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(Status(), QStringLiteral("Удалено записей: 1"));
    ASSERT_EQ(sim_.Console("add " + dir_.filePath(QStringLiteral("four.zmk")).toStdString()), "added 4");
    form_.LB->setCurrentRow(0);
    prompt_.answers.push_back(PromptAnswer::Yes);
    form_.MeasMenuPut->trigger();
    EXPECT_EQ(Status(), QStringLiteral("Записано записей: 1"));
}

// The cable table window shows the same wait box; its "Отмена" ends a Get without a message.
TEST_F(ExchangeFaultsTest, CableWindowGetShowsTheWaitBoxAndCancels) {
    Start(2000);
    zemrik::CableTable table;
    std::string last;
    CableTableWindow cables(
        &form_, zemrik::CableWindowContext{table, &form_.Connection().Device(), last, {}, prompt_}, newForm_,
        waitForm_);
    cables.show();
    When([&] { return waitForm_->isVisible(); },
         [&] {
             EXPECT_EQ(waitForm_->windowTitle(), QStringLiteral("Загрузка"));
             EXPECT_FALSE(cables.LoadBtn->isEnabled());
             waitForm_->CancelBtn()->click();
         });
    cables.GetBtn->trigger();
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_FALSE(waitForm_->isVisible());
    EXPECT_TRUE(table.count == 0 && cables.GetBtn->isEnabled());
}

}  // namespace
