// The window over serial devices that come and go: the emulator's terminal, under a link named
// like a /dev/serial/by-id one, stands in for a USB adapter, and a fake monitor reports it
// plugged in and pulled out. Pulling it out is stopping the emulator (which removes its link);
// plugging it back in is a new emulator under the same link.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/CableDialog.h"
#include "app/CableTableWindow.h"
#include "app/MainWindow.h"
#include "gui/GuiTestSupport.h"
#include "measurement/MeasurementFile.h"
#include "support/FakePortMonitor.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace {

using zemrik::SerialPortInfo;

SerialPortInfo Adapter(const std::string& name, const std::string& path, const std::string& model) {
    SerialPortInfo port;
    port.name = name;
    port.node = port.stablePath = path;
    port.model = model;
    port.vendor = "FTDI";
    return port;
}

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }
const QString Waiting = Text("Прибор отключен — ожидание подключения");
const QString Open7 = Text("ttyUSB7 — FT232R USB UART (FTDI), 28800 бит/с");

class PortWindowTest : public testing::Test {
protected:
    void SetUp() override {
        zemrik::MeasurementList list;
        for (int i = 0; i < 3; ++i) list.slots[i] = zemrik::test::RecordBuilder("ЛИНИЯ " + std::to_string(i));
        list.count = 3;
        zemrik::FileHeader header{};
        ASSERT_TRUE(zemrik::WriteMeasurementFile(records_, list, header));
        ASSERT_TRUE(Plug());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    }

    // The settings a user left, then the program's start.
    void Start(int comNumber, const std::string& portDevice) {
        QSettings(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"))
            .setValue(QStringLiteral("ComNumber"), comNumber);
        if (!portDevice.empty())
            QSettings(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"))
                .setValue(QStringLiteral("PortDevice"), QString::fromStdString(portDevice));
        auto monitor = std::make_unique<zemrik::test::FakePortMonitor>();
        monitor_ = monitor.get();
        monitor_->Plug(device_);
        form_.SetPortMonitor(std::move(monitor));
        form_.FormCreate();
        form_.AttachDialogs(&newForm_, nullptr, nullptr, nullptr);
        form_.SetPrompt(&prompt_);
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }
    bool Plug() {
        sim_ = std::make_unique<zemrik::test::SimProcess>();
        return sim_->Start(ZEMRIK_SIM_PATH,
                           {"--no-stdin", "--delay", "30", "--records", records_, "--link", link_});
    }
    bool Unplug() { return sim_->Stop(SIGTERM).value_or(zemrik::test::ChildExit{}).Clean(); }
    bool StatusBecomes(const QString& text) {
        return QTest::qWaitFor([&] { return form_.PortStatusText() == text; }, 5000);
    }

    QTemporaryDir dir_;
    std::string records_ = dir_.filePath(QStringLiteral("three.zmk")).toStdString();
    std::string link_ = dir_.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART-if00-port0")).toStdString();
    SerialPortInfo device_ = Adapter("ttyUSB7", link_, "FT232R USB UART");
    std::unique_ptr<zemrik::test::SimProcess> sim_;
    zemrik::test::ScriptedPrompt prompt_;
    CableDialog newForm_;
    MainWindow form_;
    zemrik::test::FakePortMonitor* monitor_ = nullptr;
};

// The menu lists the devices as they come; choosing one opens it, moves the mark and keeps its
// stable path; one that does not open gets the COM items' box and moves nothing. A long status
// neither widens the window nor hides a passing message.
TEST_F(PortWindowTest, ChoosingADevice) {
    Start(0, {});
    ASSERT_EQ(form_.MenuDevices.size(), 1u);
    EXPECT_EQ(form_.MenuDevices[0]->text(), Text("ttyUSB7 — FT232R USB UART (FTDI)"));
    EXPECT_EQ(form_.PortStatus->text(), Text("Порт не выбран"));
    EXPECT_TRUE(form_.MenuCom1->isChecked() && !form_.MeasMenuGet->isEnabled());

    form_.MenuDevices[0]->trigger();
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked() && form_.MeasMenuGet->isEnabled());
    EXPECT_FALSE(form_.MenuCom1->isChecked());
    EXPECT_EQ(form_.PortStatus->text(), Open7);
    EXPECT_EQ(form_.Settings().portDevice.toStdString(), link_);

    const std::string gone = dir_.filePath(QStringLiteral("gone")).toStdString();
    monitor_->Plug(Adapter("ttyUSB8", gone, "USB Serial Converter With A Product String Too Long To Show"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_.MenuDevices.size() == 2; }, 5000));
    QString box;
    WhenModal([&](QWidget* modal) {
        auto* message = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(message, nullptr);
        box = message->text() + QLatin1Char('|') + message->informativeText();
        message->done(QMessageBox::Ok);
    });
    form_.MenuDevices[1]->trigger();
    EXPECT_EQ(box, Text("Ошибка открытия COM порта!|Устройство ") + QString::fromStdString(gone) +
                       Text(" не найдено."));
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked() && !form_.MenuDevices[1]->isChecked());
    EXPECT_FALSE(form_.MeasMenuGet->isEnabled());
    EXPECT_EQ(form_.Settings().portDevice.toStdString(), link_);
    EXPECT_EQ(
        form_.PortStatusText(),
        Text("Порт не открыт: ttyUSB8 — USB Serial Converter With A Product String Too Long To Show (FTDI)"));
    EXPECT_TRUE(form_.PortStatus->text().startsWith(Text("Порт не открыт: ttyUSB8")));
    EXPECT_TRUE(form_.PortStatus->text().contains(QChar(0x2026)));

    MainWindow plain;
    EXPECT_EQ(form_.size(), plain.size());
    const QString message = Text("Записано записей: 3");
    form_.statusBar()->showMessage(message);
    QTest::qWait(50);
    EXPECT_EQ(form_.size(), plain.size());
    EXPECT_GT(form_.PortStatus->x(), form_.statusBar()->fontMetrics().horizontalAdvance(message));
}

// Remembered at start. A removal the monitor reports during a Get waits for the Get to end; a
// device pulled during a Get fails it once with its own message; each time the device opens
// again by itself when it is back.
TEST_F(PortWindowTest, UnplugAndReplug) {
    Start(2, link_);
    ASSERT_EQ(form_.PortStatusText(), Open7);
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked() && !form_.MenuCom2->isChecked());

    QTimer::singleShot(0, [&] { monitor_->Pull(device_); });
    form_.GetBtnClick();
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(form_.LB->count(), 3);
    EXPECT_EQ(form_.PortStatusText(), Waiting);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_.Connection().IsOpen(); }, 5000));
    monitor_->Plug(device_);
    ASSERT_TRUE(StatusBecomes(Text("Прибор подключен: ") + Open7));

    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(Unplug());
        monitor_->Pull(device_);
    });
    prompt_.answers.push_back(zemrik::PromptAnswer::No);  // the list read before is not saved
    form_.GetBtnClick();
    EXPECT_EQ(prompt_.Texts(),
              (std::vector<std::string>{"Файл не сохранен! Сохранить?", "Ошибка при чтении RootTable."}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_.Connection().IsOpen(); }, 5000));
    EXPECT_EQ(form_.PortStatusText(), Waiting);
    EXPECT_FALSE(form_.MeasMenuGet->isEnabled());
    EXPECT_TRUE(form_.MenuDevices.empty());

    ASSERT_TRUE(Plug());
    monitor_->Plug(device_);
    ASSERT_TRUE(StatusBecomes(Text("Прибор подключен: ") + Open7));
    EXPECT_TRUE(form_.MeasMenuGet->isEnabled() && form_.MenuDevices[0]->isChecked());
    EXPECT_EQ(prompt_.messages.size(), 2u);
    EXPECT_EQ(form_.Settings().comNumber, 2);
}

// With no word from the monitor the port's own finding closes it, and the cable table window
// follows: its Get and Put wait for the device to come back.
TEST_F(PortWindowTest, PortFindsTheDeviceGoneAndTheCableWindowFollows) {
    Start(0, link_);
    bool checked = false;
    WhenModal([&](QWidget* modal) {
        auto* cables = qobject_cast<CableTableWindow*>(modal);
        ASSERT_NE(cables, nullptr);
        EXPECT_TRUE(cables->GetBtn->isEnabled() && cables->PutBtn->isEnabled());
        EXPECT_TRUE(Unplug());
        EXPECT_TRUE(StatusBecomes(Waiting));
        EXPECT_FALSE(cables->GetBtn->isEnabled() || cables->PutBtn->isEnabled());
        EXPECT_TRUE(Plug());
        monitor_->Pull(device_);
        monitor_->Plug(device_);
        checked = QTest::qWaitFor([&] { return cables->GetBtn->isEnabled(); }, 5000);
        cables->reject();
    });
    form_.CablesBtnClick();
    EXPECT_TRUE(checked && form_.MeasMenuGet->isEnabled());
    EXPECT_TRUE(prompt_.messages.empty());
}

}  // namespace
