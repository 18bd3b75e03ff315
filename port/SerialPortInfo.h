#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// One serial device as the port menu, the status line and `zemrik-cli ports` show it, made from
// the properties udev keeps for the device (or the same names filled in from sysfs where udev is
// not running). Pure functions: the listing and the monitor only gather the properties.
namespace zemrik {

// udev property names and values as `udevadm info` prints them (E: lines), plus two facts read
// from sysfs that udev does not keep as properties:
//   SYSFS_TYPE   the tty's `type` attribute (serial core ports only: 0 = no UART, 4 = 16550A ...)
//   SYSFS_DRIVER the driver of the nearest parent device that has one (ftdi_sio, cdc_acm, serial)
using PortProperties = std::map<std::string, std::string, std::less<>>;

struct SerialPortInfo {
    std::string node;        // /dev/ttyUSB0
    std::string name;        // ttyUSB0
    std::string stablePath;  // /dev/serial/by-id/..., else /dev/serial/by-path/..., else the node
    std::string model;       // FT232R USB UART; "Встроенный порт 16550A" for a built-in UART
    std::string vendor;      // FTDI
    std::string serial;      // A50285BI
    std::string vendorId;    // 0403 (USB or PCI id, four hex digits)
    std::string productId;   // 6001
    std::string bus;         // usb, pci, or empty
    std::string driver;      // ftdi_sio

    // "FT232R USB UART (FTDI, A50285BI)"; empty when nothing is known about the device.
    std::string Description() const;
    // "ttyUSB0 — FT232R USB UART (FTDI, A50285BI)", or the name alone.
    std::string MenuText() const;

    bool operator==(const SerialPortInfo&) const = default;
};

// The device the properties describe, or nullopt for one the menu leaves out: no device node,
// or a built-in ttyS node whose UART the kernel reports as unknown (SYSFS_TYPE 0).
std::optional<SerialPortInfo> PortFromProperties(const PortProperties& properties);

// udev's \xNN escapes (ID_MODEL_ENC) undone; the reverse for text read from sysfs, so both reach
// PortFromProperties in the same form.
std::string DecodeUdevString(std::string_view encoded);
std::string EncodeUdevString(std::string_view text);

// Menu order: by name, numbers compared as numbers (ttyS2 before ttyS10, ttyS before ttyUSB).
bool PortNameLess(std::string_view a, std::string_view b);

}  // namespace zemrik
