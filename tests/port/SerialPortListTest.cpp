// The listing from sysfs and udev, on a made-up sysfs tree and on this machine as it is, and the
// monitor that works without udev.
#include <poll.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "port/PortMonitor.h"
#include "port/SerialPortList.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

namespace fs = std::filesystem;

// A sysfs and /dev of our own, laid out as Linux 6.5+ lays them out.
class FakeSysfs {
public:
    PortScanRoots Roots() const { return {sys_.string(), dev_.string()}; }
    const fs::path& Dev() const { return dev_; }

    void File(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    void Link(const fs::path& link, const fs::path& target) {
        fs::create_directories(link.parent_path());
        fs::create_symlink(target, link);
    }
    // A tty under `parent`: class/tty entry, uevent, `device`; `type` for serial core ports.
    void Tty(const fs::path& parent, const std::string& name, const std::string& type) {
        const fs::path tty = parent / "tty" / name;
        File(tty / "uevent", "MAJOR=4\nMINOR=64\nDEVNAME=" + name + "\n");
        if (!type.empty()) File(tty / "type", type + "\n");
        Link(tty / "device", parent);
        Link(sys_ / "class/tty" / name, tty);
    }
    void Driven(const fs::path& dir, const std::string& bus, const std::string& driver) {
        Link(dir / "subsystem", sys_ / "bus" / bus);
        Link(dir / "driver", sys_ / "bus" / bus / "drivers" / driver);
    }
    void BuiltIn(const std::string& name, const std::string& pnp, const std::string& type) {
        const fs::path device = sys_ / "devices/pnp0" / pnp;
        Driven(device, "pnp", "serial");
        Driven(device / (pnp + ":0"), "serial-base", "ctrl");
        Driven(device / (pnp + ":0") / (pnp + ":0.0"), "serial-base", "port");
        Tty(device / (pnp + ":0") / (pnp + ":0.0"), name, type);
        File(dev_ / name, "");
    }
    void Ftdi(const std::string& name, const std::string& usbPort, const std::string& serial) {
        const fs::path usb = sys_ / "devices/pci0000:00/0000:00:14.0/usb1" / usbPort;
        File(usb / "idVendor", "0403\n");
        File(usb / "idProduct", "6001\n");
        File(usb / "manufacturer", "FTDI\n");
        File(usb / "product", "FT232R USB UART\n");
        File(usb / "serial", serial + "\n");
        const fs::path interface = usb / (usbPort + ":1.0");
        File(interface / "bInterfaceNumber", "00\n");
        Driven(interface, "usb", "ftdi_sio");
        Driven(interface / name, "usb-serial", "ftdi_sio");
        Tty(interface / name, name, "");
        File(dev_ / name, "");  // last, as the kernel makes the node once sysfs is there
    }
    void VirtualConsole(const std::string& name) {
        File(sys_ / "devices/virtual/tty" / name / "uevent", "DEVNAME=" + name + "\n");
        Link(sys_ / "class/tty" / name, sys_ / "devices/virtual/tty" / name);
    }

private:
    test::TempFolder folder_;
    fs::path sys_ = fs::path(folder_.Path()) / "sys";
    fs::path dev_ = fs::path(folder_.Path()) / "dev";
};

std::vector<std::string> Texts(const std::vector<SerialPortInfo>& ports) {
    std::vector<std::string> texts;
    for (const SerialPortInfo& p : ports)
        texts.push_back(p.MenuText() + " | " + p.stablePath + " | " + p.driver);
    return texts;
}

TEST(SerialPortListTest, SysfsWalkFindsUsbStringsDriversAndLinksAndSkipsPortsWithoutUart) {
    FakeSysfs fake;
    fake.VirtualConsole("tty0");
    fake.BuiltIn("ttyS0", "00:00", "4");
    fake.BuiltIn("ttyS1", "00:01", "0");
    fake.Ftdi("ttyUSB0", "1-2", "A50285BI");
    fake.Link(fake.Dev() / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    fake.Link(fake.Dev() / "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "../../ttyUSB0");

    EXPECT_EQ(Texts(PortsFromProperties(ScanSysfsPorts(fake.Roots()))),
              (std::vector<std::string>{
                  "ttyS0 — Встроенный порт 16550A | /dev/ttyS0 | serial",
                  "ttyUSB0 — FT232R USB UART (FTDI, A50285BI) | "
                  "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 | ftdi_sio"}));
}

TEST(SerialPortListTest, ThisMachinesSerialPortsAsSysfsReportsThem) {
    // What the kernel says, read here without the code under test.
    std::set<std::string> withUart;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty")) {
        const std::string name = entry.path().filename().string();
        std::string type;
        std::ifstream(entry.path() / "type") >> type;
        if (name.starts_with("ttyS") && !type.empty() && type != "0") withUart.insert("/dev/" + name);
    }
    const auto viaSysfs = PortsFromProperties(ScanSysfsPorts());
    const auto viaUdev = PortsFromProperties(ScanUdevPorts());
    std::set<std::string> listed;
    for (const SerialPortInfo& port : viaSysfs) {
        std::cout << "[ listed   ] " << port.MenuText() << " | " << port.stablePath << " | " << port.driver
                  << "\n";
        EXPECT_FALSE(port.name.size() > 3 && std::isdigit(static_cast<unsigned char>(port.name[3])))
            << port.name << " is a virtual console";
        if (!port.name.starts_with("ttyS")) continue;
        listed.insert(port.node);
        EXPECT_FALSE(port.model.empty()) << port.node;
        EXPECT_FALSE(port.driver.empty()) << port.node;
    }
    EXPECT_EQ(listed, withUart);
    // libudev reads the same sysfs; without its daemon it has nothing to add.
    if (!UdevRunning()) {
        EXPECT_EQ(Texts(viaUdev), Texts(viaSysfs));
    }
    EXPECT_EQ(viaUdev.size(), viaSysfs.size());
}

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) == 1;
}

TEST(SerialPortListTest, MonitorWithoutUdevSeesNodesComeAndGoAndAWatchedLinkAppear) {
    FakeSysfs fake;
    fake.BuiltIn("ttyS0", "00:00", "4");
    auto monitor = OpenPortMonitor(fake.Roots(), false);
    EXPECT_NE(monitor->Notice(), "");
    ASSERT_GE(monitor->Fd(), 0);
    ASSERT_EQ(monitor->Ports().size(), 1u);

    fake.Ftdi("ttyUSB0", "1-2", "A50285BI");
    ASSERT_TRUE(Readable(monitor->Fd()));
    auto events = monitor->ReadEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, PortEvent::Kind::Added);
    EXPECT_EQ(events[0].port.MenuText(), "ttyUSB0 — FT232R USB UART (FTDI, A50285BI)");
    EXPECT_EQ(monitor->Ports().size(), 2u);

    fs::remove(fs::path(fake.Roots().sys) / "class/tty/ttyUSB0");
    fs::remove(fake.Dev() / "ttyUSB0");
    ASSERT_TRUE(Readable(monitor->Fd()));
    events = monitor->ReadEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, PortEvent::Kind::Removed);
    EXPECT_EQ(events[0].port.node, "/dev/ttyUSB0");
    EXPECT_TRUE(monitor->ReadEvents().empty());

    // The emulator's link, made again by a new run.
    const std::string link = (fake.Dev().parent_path() / "sim.tty").string();
    monitor->WatchPath(link);
    EXPECT_FALSE(monitor->PathPresent(link));
    fs::create_symlink("/dev/null", link);
    ASSERT_TRUE(Readable(monitor->Fd()));
    events = monitor->ReadEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, PortEvent::Kind::PathAppeared);
    EXPECT_EQ(events[0].path, link);
    EXPECT_TRUE(monitor->PathPresent(link));
}

}  // namespace
}  // namespace zemrik
