// The window over serial devices that come and go: the emulator's terminal, under a link named
// like a /dev/serial/by-id one, stands in for a USB adapter, and a monitor of the test's own
// reports it plugged in and pulled out. Unplugging is stopping the emulator (which removes its
// link); plugging it back in is a new emulator under the same link.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <utility>

#include "app/CableDialog.h"
#include "app/CableTableWindow.h"
#include "app/MainWindow.h"
#include "gui/GuiTestSupport.h"
#include "measurement/MeasurementFile.h"
#include "port/PortMonitor.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace {

using zemrik::PortEvent;
using zemrik::SerialPortInfo;

// Reports what the test says, through an eventfd the window watches as it watches udev's socket.
class TestMonitor : public zemrik::PortMonitor {
public:
    TestMonitor() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~TestMonitor() override { ::close(fd_); }

    void Plug(const SerialPortInfo& port) {
        ports_.push_back(port);
        Send({PortEvent::Kind::Added, port, {}});
    }
    void Pull(const SerialPortInfo& port) {
        std::erase(ports_, port);
        Send({PortEvent::Kind::Removed, port, {}});
    }

    int Fd() const override { return fd_; }
    const std::vector<SerialPortInfo>& Ports() const override { return ports_; }
    std::vector<PortEvent> ReadEvents() override {
        std::uint64_t count = 0;
        EXPECT_EQ(::read(fd_, &count, sizeof count), static_cast<ssize_t>(sizeof count));
        return std::exchange(pending_, {});
    }
    std::vector<PortEvent> Rescan() override { return {}; }
    void WatchPath(const std::string&) override {}
    bool PathPresent(const std::string& path) const override {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
    }
    std::string Notice() const override { return {}; }

private:
    void Send(PortEvent event) {
        pending_.push_back(std::move(event));
        const std::uint64_t one = 1;
        EXPECT_EQ(::write(fd_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    }

    int fd_;
    std::vector<SerialPortInfo> ports_;
    std::vector<PortEvent> pending_;
};

SerialPortInfo Adapter(const std::string& name, const std::string& stablePath, const std::string& serial) {
    SerialPortInfo port;
    port.name = name;
    port.node = port.stablePath = stablePath;
    port.model = "FT232R USB UART";
    port.vendor = "FTDI";
    port.serial = serial;
    return port;
}

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

class PortWindowTest : public testing::Test {
protected:
    void SetUp() override {
        zemrik::MeasurementList list;
        for (int i = 0; i < 3; ++i) list.slots[i] = zemrik::test::RecordBuilder("ЛИНИЯ " + std::to_string(i));
        list.count = 3;
        records_ = dir_.filePath(QStringLiteral("three.zmk")).toStdString();
        zemrik::FileHeader header{};
        ASSERT_TRUE(zemrik::WriteMeasurementFile(records_, list, header));
        link_ = dir_.filePath(QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")).toStdString();
        device_ = Adapter("ttyUSB7", link_, "A50285BI");
        ASSERT_TRUE(Plug());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    }

    // Settings as a user left them, then the window as the program starts it.
    void Start(int comNumber, const QString& portDevice) {
        {
            QSettings store(QStringLiteral("Zemrik"), QStringLiteral("Zemrik"));
            store.setValue(QStringLiteral("ComNumber"), comNumber);
            if (!portDevice.isEmpty()) store.setValue(QStringLiteral("PortDevice"), portDevice);
        }
        auto monitor = std::make_unique<TestMonitor>();
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
        const bool started = sim_->Start(
            ZEMRIK_SIM_PATH, {"--no-stdin", "--delay", "30", "--records", records_, "--link", link_});
        EXPECT_TRUE(started) << sim_->Error();
        return started;
    }
    bool Unplug() {
        const auto end = sim_->Stop(SIGTERM);
        return end && end->Clean();
    }

    QString Status() const { return form_.PortStatusText(); }
    bool StatusBecomes(const QString& text) {
        return QTest::qWaitFor([&] { return Status() == text; }, 5000);
    }

    QTemporaryDir dir_;
    std::string records_, link_;
    SerialPortInfo device_;
    std::unique_ptr<zemrik::test::SimProcess> sim_;
    zemrik::test::ScriptedPrompt prompt_;
    CableDialog newForm_;
    MainWindow form_;
    TestMonitor* monitor_ = nullptr;
};

// The menu lists the device; choosing it opens it, moves the mark and keeps its stable path, and
// a device that does not open gets the COM items' error box and moves nothing.
TEST_F(PortWindowTest, ChoosingADeviceOpensItAndRemembersItsStablePath) {
    Start(0, {});
    ASSERT_EQ(form_.MenuDevices.size(), 1u);
    EXPECT_EQ(form_.MenuDevices[0]->text(), Text("ttyUSB7 — FT232R USB UART (FTDI, A50285BI)"));
    EXPECT_EQ(Status(), Text("Порт не выбран"));
    EXPECT_TRUE(form_.MenuCom1->isChecked());
    EXPECT_FALSE(form_.MeasMenuGet->isEnabled());

    form_.MenuDevices[0]->trigger();
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked());
    EXPECT_FALSE(form_.MenuCom1->isChecked() || form_.MenuCom2->isChecked());
    EXPECT_TRUE(form_.MeasMenuGet->isEnabled());
    EXPECT_EQ(Status(), Text("ttyUSB7 — FT232R USB UART (FTDI, A50285BI), 28800 бит/с"));
    EXPECT_EQ(form_.Settings().portDevice.toStdString(), link_);
    EXPECT_EQ(form_.Settings().comNumber, 0);

    // A second adapter comes while the program runs, and will not open.
    monitor_->Plug(Adapter("ttyUSB8", dir_.filePath(QStringLiteral("gone")).toStdString(), "B1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form_.MenuDevices.size() == 2; }, 5000));
    EXPECT_EQ(form_.MenuDevices[1]->text(), Text("ttyUSB8 — FT232R USB UART (FTDI, B1)"));
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked());
    QString box;
    WhenModal([&](QWidget* modal) {
        auto* message = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(message, nullptr);
        box = message->text() + QLatin1Char('|') + message->informativeText();
        message->done(QMessageBox::Ok);
    });
    form_.MenuDevices[1]->trigger();
    EXPECT_TRUE(box.startsWith(Text("Ошибка открытия COM порта!|Устройство "))) << box.toStdString();
    EXPECT_FALSE(form_.MeasMenuGet->isEnabled());
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked());
    EXPECT_FALSE(form_.MenuDevices[1]->isChecked());
    EXPECT_EQ(Status(), Text("Порт не открыт: ttyUSB8 — FT232R USB UART (FTDI, B1)"));
    EXPECT_EQ(form_.Settings().portDevice.toStdString(), link_);
}

// Pulled during a Get: the Get fails once with its own message, the port closes and Get stays
// disabled; plugged back in, the device opens again by itself and a Get works.
TEST_F(PortWindowTest, UnplugDuringAGetAndReplug) {
    Start(2, QString::fromStdString(link_));
    ASSERT_EQ(Status(), Text("ttyUSB7 — FT232R USB UART (FTDI, A50285BI), 28800 бит/с"));
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked());
    EXPECT_FALSE(form_.MenuCom2->isChecked());

    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(form_.Document().Busy());
        EXPECT_TRUE(Unplug());
        monitor_->Pull(device_);
    });
    form_.GetBtnClick();
    EXPECT_EQ(prompt_.Texts(), std::vector<std::string>{"Ошибка при чтении RootTable."});
    ASSERT_TRUE(StatusBecomes(Text("Прибор отключен — ожидание подключения")));
    EXPECT_FALSE(form_.MeasMenuGet->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_.Connection().IsOpen(); }, 5000));
    EXPECT_TRUE(form_.MenuDevices.empty());
    QTest::qWait(200);
    EXPECT_EQ(prompt_.messages.size(), 1u);

    ASSERT_TRUE(Plug());
    monitor_->Plug(device_);
    ASSERT_TRUE(
        StatusBecomes(Text("Прибор подключен: ttyUSB7 — FT232R USB UART (FTDI, A50285BI), 28800 бит/с")));
    EXPECT_TRUE(form_.MeasMenuGet->isEnabled());
    ASSERT_EQ(form_.MenuDevices.size(), 1u);
    EXPECT_TRUE(form_.MenuDevices[0]->isChecked());
    form_.GetBtnClick();
    EXPECT_EQ(form_.LB->count(), 3);
    EXPECT_EQ(prompt_.messages.size(), 1u);
    EXPECT_EQ(form_.Settings().comNumber, 2);  // kept beside the device
}

// The monitor's word comes while a Get runs, and the device still answers: the port is not
// closed under the exchange, which ends as it would have; then the port closes.
TEST_F(PortWindowTest, RemovalReportedDuringAGetClosesThePortAfterIt) {
    Start(0, QString::fromStdString(link_));
    QTimer::singleShot(0, [&] { monitor_->Pull(device_); });
    form_.GetBtnClick();
    EXPECT_TRUE(prompt_.messages.empty());
    EXPECT_EQ(form_.LB->count(), 3);
    EXPECT_EQ(Status(), Text("Прибор отключен — ожидание подключения"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_.Connection().IsOpen(); }, 5000));
    EXPECT_FALSE(form_.MeasMenuGet->isEnabled());
}

// With no word from the monitor, the port's own finding closes it, and the cable table window
// follows: its Get and Put wait for the device to come back.
TEST_F(PortWindowTest, PortFindingTheDeviceGoneAndTheCableWindowFollowing) {
    Start(0, QString::fromStdString(link_));
    ASSERT_TRUE(form_.Connection().IsOpen());
    bool checked = false;
    WhenModal([&](QWidget* modal) {
        auto* cables = qobject_cast<CableTableWindow*>(modal);
        ASSERT_NE(cables, nullptr);
        EXPECT_TRUE(cables->GetBtn->isEnabled() && cables->PutBtn->isEnabled());
        EXPECT_TRUE(Unplug());
        EXPECT_TRUE(StatusBecomes(Text("Прибор отключен — ожидание подключения")));
        EXPECT_FALSE(cables->GetBtn->isEnabled() || cables->PutBtn->isEnabled());
        EXPECT_TRUE(Plug());
        monitor_->Pull(device_);
        monitor_->Plug(device_);
        EXPECT_TRUE(QTest::qWaitFor([&] { return cables->GetBtn->isEnabled(); }, 5000));
        checked = true;
        cables->reject();
    });
    form_.CablesBtnClick();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(form_.MeasMenuGet->isEnabled());
    EXPECT_TRUE(prompt_.messages.empty());
}

// A long port text neither widens the fixed window nor hides a passing message: it is shortened
// in the middle, keeping the speed, and whole in its tool tip.
TEST_F(PortWindowTest, StatusLineKeepsTheWindowsWidthAndRoomForAMessage) {
    device_.model = "USB Serial Converter With A Product String Far Too Long For Any Status Line";
    Start(0, QString::fromStdString(link_));
    const QString full =
        Text("ttyUSB7 — ") + QString::fromStdString(device_.model) + Text(" (FTDI, A50285BI), 28800 бит/с");
    ASSERT_EQ(Status(), full);
    MainWindow plain;
    EXPECT_EQ(form_.width(), plain.width());
    EXPECT_EQ(form_.height(), plain.height());
    EXPECT_TRUE(form_.PortStatus->text().startsWith(Text("ttyUSB7 — USB Serial")));
    EXPECT_TRUE(form_.PortStatus->text().endsWith(Text(", 28800 бит/с")));
    EXPECT_TRUE(form_.PortStatus->text().contains(QChar(0x2026)));
    EXPECT_EQ(form_.PortStatus->toolTip(), full);

    const QString message = Text("Записано записей: 3");
    form_.statusBar()->showMessage(message);
    QTest::qWait(50);
    EXPECT_EQ(form_.width(), plain.width());
    EXPECT_GT(form_.PortStatus->x(), form_.statusBar()->fontMetrics().horizontalAdvance(message));
    form_.statusBar()->clearMessage();
}

}  // namespace
