#include "cli/PortsCommand.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "port/SerialPortList.h"

namespace zemrik::cli {
namespace {

using Json = nlohmann::ordered_json;

Json PortJson(const SerialPortInfo& port) {
    return Json{{"node", port.node},
                {"name", port.name},
                {"stable_path", port.stablePath},
                {"text", port.MenuText()},
                {"description", port.Description()},
                {"model", port.model},
                {"vendor", port.vendor},
                {"serial", port.serial},
                {"vendor_id", port.vendorId},
                {"product_id", port.productId},
                {"bus", port.bus},
                {"driver", port.driver}};
}

// Device strings come from the device itself: no control characters reach the terminal.
std::string Line(const SerialPortInfo& port, std::size_t width) {
    return PadRight(PrintableText(port.MenuText()), width) + "  " + PrintableText(port.stablePath) + "\n";
}

// Stop signals read from a descriptor while the watch runs; when it ends, the process ends by
// the signal that stopped it, as every other command does.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&set_);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set_, sig);
        ::pthread_sigmask(SIG_BLOCK, &set_, &saved_);
        fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~StopSignals() {
        signalfd_siginfo info{};
        const bool got = fd_ >= 0 && ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
        if (fd_ >= 0) ::close(fd_);
        ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
        if (got) {
            ::signal(static_cast<int>(info.ssi_signo), SIG_DFL);
            ::raise(static_cast<int>(info.ssi_signo));
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    int Fd() const { return fd_; }

private:
    sigset_t set_, saved_;
    int fd_ = -1;
};

}  // namespace

std::string PortsText(const std::vector<SerialPortInfo>& ports) {
    if (ports.empty()) return "Последовательные порты не найдены.\n";
    std::size_t width = 0;
    for (const SerialPortInfo& port : ports) width = std::max(width, DisplayWidth(port.MenuText()));
    std::string text;
    for (const SerialPortInfo& port : ports) text += Line(port, width);
    return text;
}

std::string PortsJson(const std::vector<SerialPortInfo>& ports) {
    Json list = Json::array();
    for (const SerialPortInfo& port : ports) list.push_back(PortJson(port));
    return Json{{"count", ports.size()}, {"ports", list}}.dump(2) + "\n";
}

std::string PortEventLines(const std::vector<PortEvent>& events, bool json) {
    std::string lines;
    for (const PortEvent& event : events) {
        if (event.kind == PortEvent::Kind::PathAppeared) continue;
        const bool added = event.kind == PortEvent::Kind::Added;
        if (json) {
            lines +=
                Json{{"event", added ? "added" : "removed"}, {"port", PortJson(event.port)}}.dump() + "\n";
        } else {
            lines += (added ? "+ " : "- ") + Line(event.port, 0);
        }
    }
    return lines;
}

bool WatchPorts(PortMonitor& monitor, bool json, int stopFd,
                const std::function<bool(std::string_view)>& print, int rescanMs) {
    for (;;) {
        pollfd fds[2] = {{monitor.Fd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, rescanMs > 0 ? rescanMs : -1);
        if (ready < 0 && errno != EINTR) return true;
        std::vector<PortEvent> events;
        if (ready == 0) events = monitor.Rescan();
        if (ready > 0 && fds[0].revents != 0) events = monitor.ReadEvents();
        const std::string lines = PortEventLines(events, json);
        if (!lines.empty() && !print(lines)) return false;
        if (ready > 0 && fds[1].revents != 0) return true;
    }
}

int RunPorts(const CliRequest& request, InstrumentAccess&, Report& report) {
    if (!request.watch) {
        if (!UdevRunning()) report.Error(NoUdevNotice);
        const std::vector<SerialPortInfo> ports = ListSerialPorts();
        report.out = request.json ? PortsJson(ports) : PortsText(ports);
        return ExitOk;
    }
    StopSignals stops;  // before the monitor, so no stop is lost while it starts
    auto monitor = OpenPortMonitor();
    if (const std::string notice = monitor->Notice(); !notice.empty()) WriteStderr(notice + "\n");
    const bool printed =
        WatchPorts(*monitor, request.json, stops.Fd(), WriteStdout, monitor->Notice().empty() ? 0 : 1000);
    return printed ? ExitOk : ExitFailure;
}

}  // namespace zemrik::cli
