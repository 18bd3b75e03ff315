#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "port/PortMonitor.h"
#include "port/SerialPortInfo.h"

// `zemrik-cli ports`: the serial devices as the port menu lists them, and `--watch`.
namespace zemrik::cli {

// One line per device: its menu text, then its stable path (what --port and the settings take).
std::string PortsText(const std::vector<SerialPortInfo>& ports);
// {"count": N, "ports": [{"node", "name", "stable_path", "text", "description", "model",
// "vendor", "serial", "vendor_id", "product_id", "bus", "driver"}]}
std::string PortsJson(const std::vector<SerialPortInfo>& ports);
// A line per device added ("+ TEXT  PATH") or removed ("- TEXT  PATH"), or with `json` one object
// per line: {"event": "added"|"removed", "port": {...}}.
std::string PortEventLines(const std::vector<PortEvent>& events, bool json);

// Follows `monitor` until `stopFd` turns readable, handing each batch of lines to `print`; events
// that came before the stop are printed first. With `rescanMs` > 0 it also lists again that
// often (where udev does not run). Returns false when `print` failed.
bool WatchPorts(PortMonitor& monitor, bool json, int stopFd,
                const std::function<bool(std::string_view)>& print, int rescanMs);

}  // namespace zemrik::cli
