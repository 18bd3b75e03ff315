// udev's properties of real adapters and ports, as `udevadm info` shows them (E: lines, here
// joined by '|'), to the menu's texts and the stable path the settings keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "port/SerialPortInfo.h"

namespace zemrik {
namespace {

PortProperties Properties(std::string_view lines) {
    PortProperties properties;
    while (!lines.empty()) {
        const std::string_view line = lines.substr(0, lines.find('|'));
        lines.remove_prefix(std::min(lines.size(), line.size() + 1));
        properties[std::string(line.substr(0, line.find('=')))] =
            std::string(line.substr(line.find('=') + 1));
    }
    return properties;
}

TEST(SerialPortInfoTest, PropertiesGiveTheMenuTextStablePathAndDriver) {
    struct Case {
        const char* properties;
        std::string menuText;  // empty: left out of the menu
        std::string stablePath, driver, usbId;
    };
    const std::vector<Case> cases = {
        // FTDI FT232R, systemd 252 (ID_USB_* as well).
        {"DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0|DEVNAME=/dev/ttyUSB0|"
         "MAJOR=188|SUBSYSTEM=tty|ID_BUS=usb|ID_VENDOR_ID=0403|ID_MODEL_ID=6001|"
         "ID_VENDOR_FROM_DATABASE=Future Technology Devices International, Ltd|"
         "ID_MODEL_FROM_DATABASE=FT232 Serial (UART) IC|ID_VENDOR=FTDI|ID_VENDOR_ENC=FTDI|"
         "ID_MODEL=FT232R_USB_UART|ID_MODEL_ENC=FT232R\\x20USB\\x20UART|ID_SERIAL=FTDI_FT232R_USB_UART_"
         "A50285BI|"
         "ID_SERIAL_SHORT=A50285BI|ID_USB_VENDOR=FTDI|ID_USB_MODEL_ENC=FT232R\\x20USB\\x20UART|"
         "ID_USB_INTERFACE_NUM=00|ID_USB_DRIVER=ftdi_sio|ID_PATH=pci-0000:00:14.0-usb-0:2:1.0|"
         "DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0|SYSFS_DRIVER=ftdi_sio",
         "ttyUSB0 — FT232R USB UART (FTDI, A50285BI)",
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ftdi_sio", "0403:6001"},
        // CH340: no maker string, no serial; the id database names both.
        {"DEVNAME=/dev/ttyUSB0|ID_BUS=usb|ID_VENDOR_ID=1a86|ID_MODEL_ID=7523|"
         "ID_VENDOR_FROM_DATABASE=QinHeng Electronics|ID_MODEL_FROM_DATABASE=CH340 serial converter|"
         "ID_VENDOR=1a86|ID_VENDOR_ENC=1a86|ID_MODEL=USB2.0-Serial|ID_MODEL_ENC=USB2.0-Serial|"
         "ID_SERIAL=1a86_USB2.0-Serial|ID_USB_INTERFACE_NUM=00|ID_USB_DRIVER=ch341|"
         "DEVLINKS=/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0 "
         "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0",
         "ttyUSB0 — CH340 serial converter (QinHeng Electronics)",
         "/dev/serial/by-id/usb-1a86_USB2.0-Serial-if00-port0", "ch341", "1a86:7523"},
        // PL2303: strings padded with a blank.
        {"DEVNAME=/dev/ttyUSB1|ID_BUS=usb|ID_VENDOR_ID=067b|ID_MODEL_ID=2303|"
         "ID_VENDOR_FROM_DATABASE=Prolific Technology, Inc.|"
         "ID_MODEL_FROM_DATABASE=PL2303 Serial Port / Mobile Action "
         "MA-8910P|ID_VENDOR=Prolific_Technology_Inc.|"
         "ID_VENDOR_ENC=Prolific\\x20Technology\\x20Inc.\\x20|ID_MODEL=USB-Serial_Controller|"
         "ID_MODEL_ENC=USB-Serial\\x20Controller\\x20|ID_USB_DRIVER=pl2303|"
         "DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0 "
         "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0",
         "ttyUSB1 — USB-Serial Controller (Prolific Technology Inc.)",
         "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "pl2303",
         "067b:2303"},
        // CDC-ACM: an STM32 virtual COM port.
        {"DEVNAME=/dev/ttyACM0|ID_BUS=usb|ID_VENDOR_ID=0483|ID_MODEL_ID=5740|"
         "ID_VENDOR_FROM_DATABASE=STMicroelectronics|ID_MODEL_FROM_DATABASE=Virtual COM Port|"
         "ID_VENDOR=STMicroelectronics|ID_VENDOR_ENC=STMicroelectronics|ID_MODEL=STM32_Virtual_ComPort|"
         "ID_MODEL_ENC=STM32\\x20Virtual\\x20ComPort|ID_SERIAL_SHORT=6D8B3B7E5056|ID_USB_DRIVER=cdc_acm|"
         "DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:4:1.0 "
         "/dev/serial/by-id/usb-STMicroelectronics_STM32_Virtual_ComPort_6D8B3B7E5056-if00",
         "ttyACM0 — STM32 Virtual ComPort (STMicroelectronics, 6D8B3B7E5056)",
         "/dev/serial/by-id/usb-STMicroelectronics_STM32_Virtual_ComPort_6D8B3B7E5056-if00", "cdc_acm",
         "0483:5740"},
        // Built-in 16550A; since Linux 6.5 a serial-base port sits between the tty and the PNP device.
        {"DEVPATH=/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0|DEVNAME=/dev/ttyS0|MAJOR=4|MINOR=64|"
         "SUBSYSTEM=tty|TAGS=:systemd:|SYSFS_TYPE=4|SYSFS_DRIVER=serial",
         "ttyS0 — Встроенный порт 16550A", "/dev/ttyS0", "serial", ":"},
        {"DEVNAME=/dev/ttyS1|SYSFS_TYPE=0", "", "", "", ""},  // no UART behind it
        {"SUBSYSTEM=tty|SYSFS_TYPE=4", "", "", "", ""},       // no node
        // A PCI card: ids as 0x..., names from the database; then without the database.
        {"DEVNAME=/dev/ttyS4|ID_BUS=pci|ID_VENDOR_ID=0x9710|ID_MODEL_ID=0x9865|"
         "ID_VENDOR_FROM_DATABASE=MosChip Semiconductor|ID_MODEL_FROM_DATABASE=MCS9865 PCI to 4-Port Serial|"
         "SYSFS_TYPE=4|SYSFS_DRIVER=serial",
         "ttyS4 — MCS9865 PCI to 4-Port Serial (MosChip Semiconductor)", "/dev/ttyS4", "serial", "9710:9865"},
        {"DEVNAME=/dev/ttyS5|ID_BUS=pci|SYSFS_TYPE=4", "ttyS5 — Последовательный порт 16550A", "/dev/ttyS5",
         "", ":"},
        // A UART type the table does not name (PL011 on ARM).
        {"DEVNAME=/dev/ttyAMA0|SYSFS_TYPE=83|SYSFS_DRIVER=uart-pl011", "ttyAMA0 — Встроенный порт",
         "/dev/ttyAMA0", "uart-pl011", ":"},
        // Model and serial, no maker anywhere; only a by-path link.
        {"DEVNAME=/dev/ttyUSB2|ID_BUS=usb|ID_VENDOR_ID=10c4|ID_MODEL_ID=ea60|ID_VENDOR=10c4|"
         "ID_MODEL_ENC=CP2102\\x20USB\\x20to\\x20UART|ID_SERIAL_SHORT=0001|"
         "DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:5:1.0-port0",
         "ttyUSB2 — CP2102 USB to UART (0001)", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:5:1.0-port0", "",
         "10c4:ea60"},
        // The maker alone, under ID_USB_* only.
        {"DEVNAME=/dev/ttyACM1|ID_BUS=usb|ID_USB_VENDOR_ID=2341|ID_USB_MODEL_ID=0043|"
         "ID_USB_VENDOR_ENC=Arduino\\x20\\x28www.arduino.cc\\x29|ID_USB_MODEL=0043|"
         "ID_USB_SERIAL_SHORT=75834353930351A0E1C1",
         "ttyACM1 — Arduino (www.arduino.cc) (75834353930351A0E1C1)", "/dev/ttyACM1", "", "2341:0043"},
        {"DEVNAME=/dev/ttyUSB3|ID_BUS=usb|ID_VENDOR_ID=1A86|ID_MODEL_ID=7523|ID_VENDOR=1a86|ID_MODEL=7523",
         "ttyUSB3 — USB 1a86:7523", "/dev/ttyUSB3", "", "1a86:7523"},
        {"DEVNAME=ttyUSB4", "ttyUSB4", "/dev/ttyUSB4", "", ":"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.properties);
        const auto port = PortFromProperties(Properties(c.properties));
        ASSERT_EQ(port.has_value(), !c.menuText.empty());
        if (!port) continue;
        EXPECT_EQ(port->MenuText(), c.menuText);
        EXPECT_EQ(port->stablePath, c.stablePath);
        EXPECT_EQ(port->driver, c.driver);
        EXPECT_EQ(port->vendorId + ":" + port->productId, c.usbId);
        EXPECT_EQ(port->node, "/dev/" + port->name);
    }
}

TEST(SerialPortInfoTest, EscapesAndMenuOrder) {
    EXPECT_EQ(DecodeUdevString("A\\x20B\\x5cx20\\x2"), "A B\\x20\\x2");
    for (const std::string text : {"plain", "back\\slash \\x41", ""})
        EXPECT_EQ(DecodeUdevString(EncodeUdevString(text)), text);
    const std::vector<std::string> ordered = {"ttyACM0", "ttyS0",   "ttyS2",   "ttyS10",
                                              "ttyUSB0", "ttyUSB9", "ttyUSB10"};
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_TRUE(PortNameLess(ordered[i], ordered[i + 1])) << ordered[i];
        EXPECT_FALSE(PortNameLess(ordered[i + 1], ordered[i])) << ordered[i];
    }
}

}  // namespace
}  // namespace zemrik
