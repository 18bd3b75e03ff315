#include "port/SerialPortInfo.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace zemrik {
namespace {

std::string Property(const PortProperties& properties, std::string_view key) {
    auto found = properties.find(key);
    return found == properties.end() ? std::string() : found->second;
}

// systemd 252 also files the USB strings under ID_USB_*; older versions only under ID_*.
std::string UsbProperty(const PortProperties& properties, std::string_view key) {
    std::string value = Property(properties, std::string("ID_") + std::string(key));
    return value.empty() ? Property(properties, std::string("ID_USB_") + std::string(key)) : value;
}

std::string Trim(std::string text) {
    auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    return text;
}

bool SameHex(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A device's own string (ID_MODEL_ENC, else ID_MODEL with udev's underscores), or empty where the
// device has none: udev then puts the hex id in its place.
std::string OwnString(const PortProperties& properties, std::string_view what, std::string_view id) {
    std::string text = Trim(DecodeUdevString(UsbProperty(properties, std::string(what) + "_ENC")));
    if (text.empty()) {
        text = UsbProperty(properties, what);
        std::replace(text.begin(), text.end(), '_', ' ');
        text = Trim(text);
    }
    return SameHex(text, id) ? std::string() : text;
}

// 60-serial.rules copies PCI ids from sysfs as "0x1415".
std::string HexId(std::string id) {
    if (id.size() > 2 && id[0] == '0' && (id[1] == 'x' || id[1] == 'X')) id.erase(0, 2);
    std::transform(id.begin(), id.end(), id.begin(), [](unsigned char c) { return std::tolower(c); });
    return id;
}

// The kernel's UART type numbers (PORT_* of serial_core.h) that a PC's port can have.
std::string UartName(std::string_view type) {
    static constexpr std::array<const char*, 15> names{"",       "8250",  "16450",   "16550", "16550A",
                                                       "Cirrus", "16650", "16650V2", "16750", "Startech",
                                                       "16C950", "16654", "16850",   "RSA",   "NS16550A"};
    if (type.empty() || type.size() > 3 || !std::all_of(type.begin(), type.end(), ::isdigit)) return {};
    const unsigned number = static_cast<unsigned>(std::stoul(std::string(type)));
    return number < names.size() ? names[number] : std::string();
}

// Splits "ttyUSB10" into "ttyUSB" and 10 for the menu order.
std::pair<std::string_view, unsigned long> NameParts(std::string_view name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    if (digits == name.size() || name.size() - digits > 9) return {name, 0};
    return {name.substr(0, digits), std::stoul(std::string(name.substr(digits)))};
}

}  // namespace

std::string SerialPortInfo::Description() const {
    std::vector<std::string> aside;
    std::string head = model;
    if (head.empty()) {
        head = vendor;
    } else if (!vendor.empty()) {
        aside.push_back(vendor);
    }
    if (head.empty() && bus == "usb" && !vendorId.empty()) head = "USB " + vendorId + ":" + productId;
    if (!serial.empty()) aside.push_back(serial);
    if (head.empty()) return aside.empty() ? std::string() : aside.front();  // a serial number alone
    std::string text = head;
    for (std::size_t i = 0; i < aside.size(); ++i) text += (i == 0 ? " (" : ", ") + aside[i];
    if (!aside.empty()) text += ")";
    return text;
}

std::string SerialPortInfo::MenuText() const {
    const std::string description = Description();
    return description.empty() ? name : name + " — " + description;
}

std::optional<SerialPortInfo> PortFromProperties(const PortProperties& properties) {
    SerialPortInfo port;
    port.node = Property(properties, "DEVNAME");
    if (port.node.empty()) return std::nullopt;
    if (port.node.find('/') == std::string::npos) port.node = "/dev/" + port.node;
    port.name = port.node.substr(port.node.rfind('/') + 1);
    const std::string uartType = Property(properties, "SYSFS_TYPE");
    if (uartType == "0") return std::nullopt;

    port.bus = Property(properties, "ID_BUS");
    port.vendorId = HexId(UsbProperty(properties, "VENDOR_ID"));
    port.productId = HexId(UsbProperty(properties, "MODEL_ID"));
    port.serial = Trim(UsbProperty(properties, "SERIAL_SHORT"));
    const std::string ownVendor = OwnString(properties, "VENDOR", port.vendorId);
    const std::string ownModel = OwnString(properties, "MODEL", port.productId);
    const std::string knownVendor = Trim(Property(properties, "ID_VENDOR_FROM_DATABASE"));
    const std::string knownModel = Trim(Property(properties, "ID_MODEL_FROM_DATABASE"));
    // A device that does not name its maker (CH340: "1a86", "USB Serial") usually has a generic
    // product string too; the id database then says more about both.
    if (ownVendor.empty()) {
        port.vendor = knownVendor;
        port.model = knownModel.empty() ? ownModel : knownModel;
    } else {
        port.vendor = ownVendor;
        port.model = ownModel.empty() ? knownModel : ownModel;
    }
    if (port.model.empty() && !uartType.empty()) {
        const std::string uart = UartName(uartType);
        port.model = port.bus == "pci" ? "Последовательный порт" : "Встроенный порт";
        if (!uart.empty()) port.model += " " + uart;
    }

    port.driver = UsbProperty(properties, "USB_DRIVER");
    if (port.driver.empty()) port.driver = Property(properties, "SYSFS_DRIVER");

    // DEVLINKS is a blank-separated list in no fixed order; take the first by name of each kind.
    std::string byId, byPath;
    const std::string links = Property(properties, "DEVLINKS");
    for (std::size_t at = 0; at < links.size();) {
        std::size_t end = links.find(' ', at);
        if (end == std::string::npos) end = links.size();
        const std::string link = links.substr(at, end - at);
        at = end + 1;
        auto take = [&link](std::string& into, std::string_view prefix) {
            if (link.size() > prefix.size() && link.compare(0, prefix.size(), prefix) == 0 &&
                (into.empty() || link < into))
                into = link;
        };
        take(byId, "/dev/serial/by-id/");
        take(byPath, "/dev/serial/by-path/");
    }
    port.stablePath = !byId.empty() ? byId : !byPath.empty() ? byPath : port.node;
    return port;
}

std::string DecodeUdevString(std::string_view encoded) {
    std::string text;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(encoded[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(encoded[i + 3]))) {
            text += static_cast<char>(std::stoi(std::string(encoded.substr(i + 2, 2)), nullptr, 16));
            i += 3;
        } else {
            text += encoded[i];
        }
    }
    return text;
}

std::string EncodeUdevString(std::string_view text) {
    std::string encoded;
    for (char c : text) encoded += c == '\\' ? std::string("\\x5c") : std::string(1, c);
    return encoded;
}

bool PortNameLess(std::string_view a, std::string_view b) {
    const auto [aStem, aNumber] = NameParts(a);
    const auto [bStem, bNumber] = NameParts(b);
    if (aStem != bStem) return aStem < bStem;
    if (aNumber != bNumber) return aNumber < bNumber;
    return a < b;
}

}  // namespace zemrik
