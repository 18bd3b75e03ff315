// `zemrik-cli ports`: the listing's layout and the watch loop, over a scripted monitor.
#include <sys/eventfd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "cli/PortsCommand.h"

namespace zemrik::cli {
namespace {

SerialPortInfo Port(std::string name, std::string model, std::string stablePath = {}) {
    SerialPortInfo port;
    port.node = "/dev/" + name;
    port.name = std::move(name);
    port.stablePath = stablePath.empty() ? port.node : std::move(stablePath);
    port.model = std::move(model);
    return port;
}

SerialPortInfo Ftdi() {
    SerialPortInfo port =
        Port("ttyUSB0", "FT232R USB UART", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    port.vendor = "FTDI";
    port.serial = "A50285BI";
    port.vendorId = "0403";
    port.productId = "6001";
    port.bus = "usb";
    port.driver = "ftdi_sio";
    return port;
}

SerialPortInfo BuiltIn() {
    SerialPortInfo port = Port("ttyS0", "Встроенный порт 16550A");
    port.driver = "serial";
    return port;
}

class EventFd {
public:
    EventFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~EventFd() { ::close(fd_); }
    void Signal() const {
        const std::uint64_t one = 1;
        EXPECT_EQ(::write(fd_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    }
    int Fd() const { return fd_; }

private:
    int fd_;
};

// Hands out one batch of events when its descriptor is signalled; a rescan stops the watch.
class ScriptedMonitor : public PortMonitor {
public:
    EventFd ready, stop;
    std::vector<PortEvent> events, rescanned;
    int rescans = 0;

    int Fd() const override { return ready.Fd(); }
    const std::vector<SerialPortInfo>& Ports() const override { return ports_; }
    std::vector<PortEvent> ReadEvents() override {
        std::uint64_t count = 0;
        EXPECT_EQ(::read(ready.Fd(), &count, sizeof count), static_cast<ssize_t>(sizeof count));
        return std::exchange(events, {});
    }
    std::vector<PortEvent> Rescan() override {
        ++rescans;
        stop.Signal();
        return std::exchange(rescanned, {});
    }
    void WatchPath(const std::string&) override {}
    bool PathPresent(const std::string&) const override { return false; }
    std::string Notice() const override { return {}; }

private:
    std::vector<SerialPortInfo> ports_;
};

TEST(PortsCommandTest, ListingLinesAndJson) {
    EXPECT_EQ(PortsText({BuiltIn(), Ftdi()}),
              "ttyS0 — Встроенный порт 16550A" + std::string(14, ' ') +
                  "/dev/ttyS0\n"
                  "ttyUSB0 — FT232R USB UART (FTDI, A50285BI)  "
                  "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n");
    EXPECT_EQ(PortsText({}), "Последовательные порты не найдены.\n");

    const auto json = nlohmann::json::parse(PortsJson({Ftdi()}));
    EXPECT_EQ(json.at("count"), 1);
    const std::string expected =
        R"j({"bus":"usb","description":"FT232R USB UART (FTDI, A50285BI)","driver":"ftdi_sio",)j"
        R"j("model":"FT232R USB UART","name":"ttyUSB0","node":"/dev/ttyUSB0","product_id":"6001",)j"
        R"j("serial":"A50285BI","stable_path":"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",)j"
        R"j("text":"ttyUSB0 — FT232R USB UART (FTDI, A50285BI)","vendor":"FTDI","vendor_id":"0403"})j";
    EXPECT_EQ(json.at("ports").at(0).dump(), expected);
}

TEST(PortsCommandTest, WatchPrintsEachDeviceAddedOrRemovedUntilStopped) {
    SerialPortInfo control = BuiltIn();
    control.model = "Bad\x1b[2Jmodel";  // a hostile device string reaches no terminal as is
    ScriptedMonitor monitor;
    monitor.events = {{PortEvent::Kind::Added, Ftdi(), {}},
                      {PortEvent::Kind::PathAppeared, {}, "/tmp/x"},
                      {PortEvent::Kind::Removed, control, {}}};
    monitor.ready.Signal();
    monitor.stop.Signal();  // events that came before the stop are still printed
    std::string printed;
    auto print = [&printed](std::string_view lines) { return printed += lines, true; };
    EXPECT_TRUE(WatchPorts(monitor, false, monitor.stop.Fd(), print, 0));
    EXPECT_EQ(printed,
              "+ ttyUSB0 — FT232R USB UART (FTDI, A50285BI)  "
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"
              "- ttyS0 — Bad?[2Jmodel  /dev/ttyS0\n");
    EXPECT_EQ(monitor.rescans, 0);

    // Without udev: lists again on a timer; JSON, one object a line; a failed print ends it.
    ScriptedMonitor quiet;
    quiet.rescanned = {{PortEvent::Kind::Removed, Ftdi(), {}}};
    printed.clear();
    EXPECT_TRUE(WatchPorts(quiet, true, quiet.stop.Fd(), print, 10));
    EXPECT_EQ(quiet.rescans, 1);
    ASSERT_EQ(printed.back(), '\n');
    const auto event = nlohmann::json::parse(printed);
    EXPECT_EQ(event.at("event"), "removed");
    EXPECT_EQ(event.at("port").at("node"), "/dev/ttyUSB0");

    quiet.rescanned = {{PortEvent::Kind::Added, Ftdi(), {}}};
    const EventFd never;
    EXPECT_FALSE(WatchPorts(
        quiet, false, never.Fd(), [](std::string_view) { return false; }, 10));
}

}  // namespace
}  // namespace zemrik::cli
