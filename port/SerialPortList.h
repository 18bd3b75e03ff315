#pragma once

#include <string>
#include <vector>

#include "port/SerialPortInfo.h"

// The serial devices present: read from udev where it runs (its database knows the model names
// and the /dev/serial links), else straight from sysfs and /dev/serial, as in a container.
namespace zemrik {

// Where the sysfs walk looks; tests point it at a tree of their own.
struct PortScanRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

// True when the udev daemon runs here (its control socket exists). Without it the database and
// the event stream are empty, though libudev itself still works.
bool UdevRunning();

// Said once where udev does not run: devices then lack their /dev/serial links and model names
// from the id database, and only /dev/tty* nodes coming and going are noticed.
inline constexpr const char* NoUdevNotice =
    "Служба udev не работает: последовательные порты ищутся в /sys/class/tty и /dev/serial.";

// Every tty with a device behind it (virtual consoles and ptmx have none), its properties made
// from sysfs: DEVNAME, the USB strings and ids of the device it hangs off, SYSFS_TYPE,
// SYSFS_DRIVER, and DEVLINKS from the links under dev/serial/by-id and by-path that lead to it.
std::vector<PortProperties> ScanSysfsPorts(const PortScanRoots& roots = {});

// The same through libudev: its enumeration of the tty subsystem and its properties, plus
// SYSFS_TYPE and SYSFS_DRIVER. Empty when libudev cannot start.
std::vector<PortProperties> ScanUdevPorts();

// The ports the menu lists, in menu order.
std::vector<SerialPortInfo> PortsFromProperties(const std::vector<PortProperties>& found);

// ScanUdevPorts where udev runs, else ScanSysfsPorts, as the menu lists them.
std::vector<SerialPortInfo> ListSerialPorts();

}  // namespace zemrik
