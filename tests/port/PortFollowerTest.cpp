// What the window is told to do as devices come and go, driven through a fake monitor.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "port/PortFollower.h"
#include "support/FakePortMonitor.h"

namespace zemrik {
namespace {

using Action = PortStep::Action;

SerialPortInfo Port(std::string name, std::string stablePath, std::string model, std::string vendor = {},
                    std::string serial = {}) {
    SerialPortInfo port;
    port.node = "/dev/" + name;
    port.name = std::move(name);
    port.stablePath = stablePath.empty() ? port.node : std::move(stablePath);
    port.model = std::move(model);
    port.vendor = std::move(vendor);
    port.serial = std::move(serial);
    return port;
}

const std::string FtdiLink = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const SerialPortInfo BuiltIn = Port("ttyS0", "", "Встроенный порт 16550A");
const SerialPortInfo Ftdi = Port("ttyUSB0", FtdiLink, "FT232R USB UART", "FTDI", "A50285BI");
const SerialPortInfo FtdiElsewhere = Port("ttyUSB1", FtdiLink, "FT232R USB UART", "FTDI", "A50285BI");
const SerialPortInfo Ch340 = Port("ttyUSB0", "/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0",
                                  "CH340 serial converter", "QinHeng Electronics");

using FakeMonitor = test::FakePortMonitor;

void ExpectOpen(const PortStep& step, const std::string& path, bool reportFailure) {
    EXPECT_EQ(step.action, Action::Open);
    EXPECT_EQ(step.path, path);
    EXPECT_EQ(step.reportFailure, reportFailure);
}

TEST(PortFollowerTest, ChosenDeviceIsClosedWhenPulledAndReopenedWhenItComesBackUnderAnotherNode) {
    FakeMonitor monitor;
    monitor.ports = {BuiltIn, Ftdi};
    PortFollower follower(monitor);
    EXPECT_EQ(follower.Start("", 0, "").action, Action::None);
    EXPECT_EQ(follower.StatusText(), "Порт не выбран");

    EXPECT_EQ(follower.CheckedCom(), 1);  // the mark "1" has before any choice

    PortStep step = follower.ChooseDevice(1);
    ExpectOpen(step, "/dev/ttyUSB0", true);
    EXPECT_FALSE(step.remember);  // not before it opened
    EXPECT_EQ(monitor.watched, FtdiLink);
    EXPECT_FALSE(follower.IsOpen());
    EXPECT_EQ(follower.Opened(true).remember, FtdiLink);
    EXPECT_TRUE(follower.IsOpen());
    EXPECT_EQ(follower.StatusText(), "ttyUSB0 — FT232R USB UART (FTDI, A50285BI), 28800 бит/с");
    EXPECT_EQ(follower.CheckedDevice(), 1u);
    EXPECT_EQ(follower.CheckedCom(), 0);

    monitor.Pull(Ftdi);
    step = follower.MonitorReadable();
    EXPECT_EQ(step.action, Action::Close);
    EXPECT_TRUE(step.listChanged);
    EXPECT_FALSE(step.remember);
    EXPECT_FALSE(follower.IsOpen());
    EXPECT_EQ(follower.StatusText(), "Прибор отключен — ожидание подключения");

    monitor.Plug(Ch340);  // another adapter takes the node: not ours
    step = follower.MonitorReadable();
    EXPECT_EQ(step.action, Action::None);
    EXPECT_TRUE(step.listChanged);

    monitor.Plug(FtdiElsewhere);
    ExpectOpen(follower.MonitorReadable(), "/dev/ttyUSB1", false);
    EXPECT_FALSE(follower.Opened(true).remember);
    EXPECT_TRUE(follower.IsOpen());
    EXPECT_EQ(follower.StatusText(),
              "Прибор подключен: ttyUSB1 — FT232R USB UART (FTDI, A50285BI), 28800 бит/с");
    EXPECT_EQ(follower.CheckedDevice(), 2u);
}

TEST(PortFollowerTest, PortReportingTheDeviceGoneClosesItOnceAndAFailedReopenKeepsWaiting) {
    FakeMonitor monitor;
    monitor.ports = {Ftdi};
    PortFollower follower(monitor);
    follower.ChooseDevice(0);
    follower.Opened(true);

    EXPECT_EQ(follower.PortGone().action, Action::Close);
    EXPECT_EQ(follower.StatusText(), "Прибор отключен — ожидание подключения");
    monitor.Pull(Ftdi);  // udev's word comes after the port's
    EXPECT_EQ(follower.MonitorReadable().action, Action::None);
    EXPECT_EQ(follower.PortGone().action, Action::None);

    monitor.Plug(Ftdi);
    ExpectOpen(follower.MenuOpening(), "/dev/ttyUSB0", false);
    follower.Opened(false);  // taken by another program first: no box, go on waiting
    EXPECT_FALSE(follower.IsOpen());
    EXPECT_EQ(follower.StatusText(), "Прибор отключен — ожидание подключения");
    monitor.Pull(Ftdi);
    monitor.Plug(Ftdi);
    // Pulled and back within one read: one step, the last one.
    const PortStep step = follower.MonitorReadable();
    ExpectOpen(step, "/dev/ttyUSB0", false);
    EXPECT_TRUE(step.listChanged);
}

TEST(PortFollowerTest, StartOpensTheRememberedDeviceOrWaitsForItAndFallsBackToTheComNumber) {
    {
        FakeMonitor monitor;
        monitor.ports = {BuiltIn, Ftdi};
        PortFollower follower(monitor);
        ExpectOpen(follower.Start(FtdiLink, 1, "/dev/ttyS0"), "/dev/ttyUSB0", true);
        EXPECT_FALSE(follower.Opened(true).remember);
        EXPECT_EQ(follower.CheckedDevice(), 1u);
        EXPECT_EQ(follower.CheckedCom(), 0);
    }
    {
        FakeMonitor monitor;
        monitor.ports = {BuiltIn};
        PortFollower follower(monitor);
        EXPECT_EQ(follower.Start(FtdiLink, 1, "/dev/ttyS0").action, Action::None);
        EXPECT_EQ(follower.StatusText(), "Прибор отключен — ожидание подключения");
        EXPECT_EQ(follower.CheckedCom(), 0);
        EXPECT_EQ(monitor.watched, FtdiLink);
        monitor.Plug(Ftdi);
        ExpectOpen(follower.MonitorReadable(), "/dev/ttyUSB0", false);
        EXPECT_EQ(follower.CheckedDevice(), 1u);
    }
    {
        FakeMonitor monitor;  // udev absent: no by-id entry in the listing, but the link is there
        monitor.present = {FtdiLink};
        PortFollower follower(monitor);
        ExpectOpen(follower.Start(FtdiLink, 0, ""), FtdiLink, true);
    }
    {
        FakeMonitor monitor;
        monitor.ports = {BuiltIn};
        PortFollower follower(monitor);
        ExpectOpen(follower.Start("", 2, "/dev/ttyS1"), "/dev/ttyS1", true);
        follower.Opened(false);
        EXPECT_EQ(follower.StatusText(), "Порт не открыт: COM2: /dev/ttyS1");
        EXPECT_EQ(follower.CheckedCom(), 1);  // a port that failed at start leaves the mark on "1"
        // A number the menu does not offer opens and leaves the mark alone too.
        ExpectOpen(follower.Start("", 3, "/dev/ttyS2"), "/dev/ttyS2", true);
        follower.Opened(true);
        EXPECT_EQ(follower.CheckedCom(), 1);
        EXPECT_EQ(follower.StatusText(), "COM3: /dev/ttyS2, 28800 бит/с");
    }
}

TEST(PortFollowerTest, ComItemsClearTheRememberedDeviceAndAPathIsFollowedByItsLink) {
    FakeMonitor monitor;
    monitor.ports = {BuiltIn, Ftdi};
    monitor.notice = "udev absent";
    PortFollower follower(monitor);
    EXPECT_EQ(follower.TakeNotice(), "udev absent");
    EXPECT_EQ(follower.TakeNotice(), "");

    follower.ChooseDevice(1);
    follower.Opened(true);
    EXPECT_EQ(follower.CheckedDevice(), 1u);
    // COM 2 does not open: no mark moves and nothing is remembered; COM 1 does.
    ExpectOpen(follower.ChooseCom(2, "/dev/ttyS1"), "/dev/ttyS1", true);
    EXPECT_FALSE(follower.Opened(false).remember);
    EXPECT_EQ(follower.CheckedDevice(), 1u);
    EXPECT_EQ(follower.CheckedCom(), 0);
    ExpectOpen(follower.ChooseCom(1, "/dev/ttyS0"), "/dev/ttyS0", true);
    EXPECT_EQ(follower.Opened(true).remember, "");
    EXPECT_EQ(follower.StatusText(), "COM1: ttyS0 — Встроенный порт 16550A, 28800 бит/с");
    EXPECT_EQ(follower.CheckedCom(), 1);
    EXPECT_EQ(follower.CheckedDevice(), std::nullopt);

    PortStep step = follower.ChooseDevice(5);
    EXPECT_EQ(step.action, Action::None);
    step = follower.ChooseDevice(1);
    EXPECT_FALSE(follower.Opened(false).remember);
    EXPECT_EQ(follower.StatusText(), "Порт не открыт: ttyUSB0 — FT232R USB UART (FTDI, A50285BI)");
    EXPECT_EQ(follower.CheckedDevice(), std::nullopt);
    EXPECT_EQ(follower.CheckedCom(), 1);
    monitor.Pull(Ftdi);
    monitor.Plug(Ftdi);  // a failed choice is not waited for
    EXPECT_EQ(follower.MonitorReadable().action, Action::None);

    // zemrik --port on the emulator's link: the emulator ends, then a new one makes the link again.
    const std::string link = "/tmp/zemrik-tty";
    step = follower.ChooseCom(0, link);
    ExpectOpen(step, link, true);
    EXPECT_FALSE(follower.Opened(true).remember);
    EXPECT_EQ(follower.CheckedCom(), 1);
    EXPECT_EQ(follower.StatusText(), "/tmp/zemrik-tty, 28800 бит/с");
    EXPECT_EQ(follower.PortGone().action, Action::Close);
    monitor.Send({PortEvent::Kind::PathAppeared, {}, link});
    EXPECT_EQ(follower.MonitorReadable().action, Action::None);  // a link to a terminal that is gone
    monitor.present = {link};
    monitor.Send({PortEvent::Kind::PathAppeared, {}, "/tmp/other"});
    monitor.Send({PortEvent::Kind::PathAppeared, {}, link});
    ExpectOpen(follower.MonitorReadable(), link, false);
    follower.Opened(true);
    EXPECT_EQ(follower.StatusText(), "Прибор подключен: /tmp/zemrik-tty, 28800 бит/с");
}

}  // namespace
}  // namespace zemrik
