#include "port/SerialPortList.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "port/UdevDevice.h"

namespace zemrik {
namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without its line break; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A symlink's last component: sysfs points `driver` and `subsystem` at .../drivers/NAME.
std::string LinkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    return error ? std::string() : target.filename().string();
}

// The serial core puts a port device (subsystem serial-base) between the tty and the hardware
// since Linux 6.5; its drivers ("port", "ctrl") say nothing about the hardware.
bool IsSerialBase(std::string_view subsystem) { return subsystem == "serial-base"; }

void AddSysfsFacts(const fs::path& ttyDir, const fs::path& devicesRoot, PortProperties& properties) {
    if (std::string type = ReadAttribute(ttyDir / "type"); !type.empty()) properties["SYSFS_TYPE"] = type;
    std::error_code error;
    fs::path dir = fs::canonical(ttyDir / "device", error);
    if (error) return;
    bool haveDriver = false, haveUsb = false;
    for (; !dir.empty() && dir != devicesRoot && dir != dir.parent_path(); dir = dir.parent_path()) {
        if (!haveDriver && fs::is_symlink(dir / "driver", error) &&
            !IsSerialBase(LinkName(dir / "subsystem"))) {
            properties["SYSFS_DRIVER"] = LinkName(dir / "driver");
            haveDriver = true;
        }
        if (properties.count("ID_USB_INTERFACE_NUM") == 0 && fs::exists(dir / "bInterfaceNumber", error))
            properties["ID_USB_INTERFACE_NUM"] = ReadAttribute(dir / "bInterfaceNumber");
        if (!haveUsb && fs::exists(dir / "idVendor", error)) {
            haveUsb = true;
            properties["ID_BUS"] = "usb";
            properties["ID_VENDOR_ID"] = ReadAttribute(dir / "idVendor");
            properties["ID_MODEL_ID"] = ReadAttribute(dir / "idProduct");
            properties["ID_VENDOR_ENC"] = EncodeUdevString(ReadAttribute(dir / "manufacturer"));
            properties["ID_MODEL_ENC"] = EncodeUdevString(ReadAttribute(dir / "product"));
            properties["ID_SERIAL_SHORT"] = ReadAttribute(dir / "serial");
        }
    }
}

// The links under dev/serial/by-id and by-path, keyed by the node they lead to (as a path under
// `dev`), each list blank-separated as udev's DEVLINKS.
std::map<std::string, std::string> SerialLinks(const fs::path& dev) {
    std::map<std::string, std::string> links;
    for (const char* kind : {"by-id", "by-path"}) {
        std::error_code error;
        const fs::path dir = dev / "serial" / kind;
        for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
            const fs::path target = fs::read_symlink(it->path(), error);
            if (error) {
                error.clear();
                continue;
            }
            const fs::path node = (target.is_absolute() ? target : dir / target).lexically_normal();
            std::string& list = links[node.string()];
            // Named as udev names them, under /dev, whatever root the walk had.
            list += (list.empty() ? "" : " ") +
                    ("/dev/serial/" + std::string(kind) + "/" + it->path().filename().string());
        }
    }
    return links;
}

}  // namespace

bool UdevRunning() { return ::access("/run/udev/control", F_OK) == 0; }

std::vector<PortProperties> ScanSysfsPorts(const PortScanRoots& roots) {
    const fs::path classDir = fs::path(roots.sys) / "class" / "tty";
    const fs::path devicesRoot = fs::path(roots.sys) / "devices";
    std::error_code error;
    const fs::path canonicalDevices = fs::weakly_canonical(devicesRoot, error);
    const auto links = SerialLinks(roots.dev);
    std::vector<PortProperties> found;
    for (fs::directory_iterator it(classDir, error), end; !error && it != end; it.increment(error)) {
        const fs::path ttyDir = it->path();
        std::error_code missing;
        if (!fs::exists(ttyDir / "device", missing)) continue;
        PortProperties properties;
        const std::string name = ttyDir.filename().string();
        std::string devName = name;
        std::ifstream uevent(ttyDir / "uevent");
        for (std::string line; std::getline(uevent, line);) {
            if (line.rfind("DEVNAME=", 0) == 0) devName = line.substr(8);
        }
        const fs::path node = fs::path(roots.dev) / devName;
        properties["DEVNAME"] = "/dev/" + devName;
        if (auto link = links.find(node.lexically_normal().string()); link != links.end())
            properties["DEVLINKS"] = link->second;
        AddSysfsFacts(ttyDir, canonicalDevices, properties);
        found.push_back(std::move(properties));
    }
    return found;
}

namespace udev {

bool HasParent(udev_device* device) { return udev_device_get_parent(device) != nullptr; }

PortProperties PropertiesOf(udev_device* device) {
    PortProperties properties;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device)) {
        const char* value = udev_list_entry_get_value(entry);
        properties[udev_list_entry_get_name(entry)] = value != nullptr ? value : "";
    }
    if (const char* type = udev_device_get_sysattr_value(device, "type"); type != nullptr && *type != '\0')
        properties["SYSFS_TYPE"] = type;
    // Parents belong to the child; no unref.
    for (udev_device* parent = udev_device_get_parent(device); parent != nullptr;
         parent = udev_device_get_parent(parent)) {
        const char* driver = udev_device_get_driver(parent);
        const char* subsystem = udev_device_get_subsystem(parent);
        if (driver != nullptr && !IsSerialBase(subsystem != nullptr ? subsystem : "")) {
            properties["SYSFS_DRIVER"] = driver;
            break;
        }
    }
    return properties;
}

}  // namespace udev

std::vector<PortProperties> ScanUdevPorts() {
    std::vector<PortProperties> found;
    udev::Context context(udev_new());
    if (!context) return found;
    udev::Enumerate enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return found;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        udev::Device device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (device && udev::HasParent(device.get())) found.push_back(udev::PropertiesOf(device.get()));
    }
    return found;
}

std::vector<SerialPortInfo> PortsFromProperties(const std::vector<PortProperties>& found) {
    std::vector<SerialPortInfo> ports;
    for (const PortProperties& properties : found) {
        if (auto port = PortFromProperties(properties)) ports.push_back(std::move(*port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return PortNameLess(a.name, b.name); });
    return ports;
}

std::vector<SerialPortInfo> ListSerialPorts() {
    std::vector<PortProperties> found;
    if (UdevRunning()) found = ScanUdevPorts();
    if (found.empty()) found = ScanSysfsPorts();
    return PortsFromProperties(found);
}

}  // namespace zemrik
