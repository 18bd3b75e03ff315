#pragma once

#include <memory>
#include <string>
#include <vector>

#include "port/SerialPortInfo.h"
#include "port/SerialPortList.h"

// Serial devices coming and going. The window watches Fd() with a QSocketNotifier, zemrik-cli
// with poll; both call ReadEvents when it turns readable. Where udev runs, its event stream
// drives it; elsewhere (a container) new and vanished /dev/tty* nodes do, and Rescan catches what
// neither saw.
//
// Threading contract: one thread (the one that made it) calls everything.
namespace zemrik {

struct PortEvent {
    enum class Kind { Added, Removed, PathAppeared };
    Kind kind = Kind::Added;
    SerialPortInfo port;  // Added, Removed
    std::string path;     // PathAppeared: the watched path
};

class PortMonitor {
public:
    virtual ~PortMonitor() = default;

    // Turns readable when ReadEvents has something to say; -1 when nothing can be watched.
    virtual int Fd() const = 0;
    // The devices as last seen, in menu order.
    virtual const std::vector<SerialPortInfo>& Ports() const = 0;
    // Once Fd is readable: what changed since the last call. Never blocks.
    virtual std::vector<PortEvent> ReadEvents() = 0;
    // Lists the devices again and reports the difference (when the menu opens).
    virtual std::vector<PortEvent> Rescan() = 0;
    // Reports PathAppeared when `path` (such as the emulator's link) is made again; only one path
    // at a time, "" for none.
    virtual void WatchPath(const std::string& path) = 0;
    // True when `path` leads to a device that exists; a link to a vanished terminal does not.
    virtual bool PathPresent(const std::string& path) const = 0;
    // Where udev does not run: what the program does instead, for the user to read once.
    // Empty where it runs.
    virtual std::string Notice() const = 0;
};

// The monitor of this machine: udev's where `useUdev`, else the sysfs listing under `roots` and
// inotify on its /dev.
std::unique_ptr<PortMonitor> OpenPortMonitor(const PortScanRoots& roots = {}, bool useUdev = UdevRunning());

// What differs between two listings: Removed for each port of `before` not in `after` as it was,
// then Added for each port of `after` not in `before`.
std::vector<PortEvent> PortDifferences(const std::vector<SerialPortInfo>& before,
                                       const std::vector<SerialPortInfo>& after);

}  // namespace zemrik
