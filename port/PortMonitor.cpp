#include "port/PortMonitor.h"

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "port/UdevDevice.h"

namespace zemrik {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

constexpr std::uint32_t AppearMask = IN_CREATE | IN_MOVED_TO;

// One descriptor for the window to watch: an epoll set holding udev's socket (where udev runs)
// and an inotify descriptor for /dev (where it does not) and for the watched path.
class SystemPortMonitor : public PortMonitor {
public:
    SystemPortMonitor(PortScanRoots roots, bool useUdev)
        : roots_(std::move(roots)),
          epoll_(::epoll_create1(EPOLL_CLOEXEC)),
          inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (useUdev) StartUdev();
        if (!monitor_)
            devWatch_ = ::inotify_add_watch(inotify_.Get(), roots_.dev.c_str(), IN_CREATE | IN_DELETE);
        Add(inotify_.Get());
        ports_ = List();
    }

    int Fd() const override { return epoll_.Get(); }
    const std::vector<SerialPortInfo>& Ports() const override { return ports_; }

    std::vector<PortEvent> ReadEvents() override {
        // One pass over both: what is left keeps the epoll set readable, so the caller comes back.
        std::vector<PortEvent> events;
        // Events dropped when the socket's buffer overflowed are found by listing again.
        const bool lost = monitor_ && !ReadUdev(events);
        if (ReadInotify(events) || lost) {
            auto changes = Rescan();
            events.insert(events.end(), changes.begin(), changes.end());
        }
        return events;
    }

    std::vector<PortEvent> Rescan() override {
        std::vector<SerialPortInfo> now = List();
        std::vector<PortEvent> events = PortDifferences(ports_, now);
        ports_ = std::move(now);
        return events;
    }

    void WatchPath(const std::string& path) override {
        if (pathWatch_ >= 0 && pathWatch_ != devWatch_) ::inotify_rm_watch(inotify_.Get(), pathWatch_);
        pathWatch_ = -1;
        watchedPath_ = path;
        if (path.empty()) return;
        const std::filesystem::path full(path);
        watchedName_ = full.filename().string();
        // IN_MASK_ADD: the directory may be /dev, watched already for other reasons.
        pathWatch_ =
            ::inotify_add_watch(inotify_.Get(), full.parent_path().c_str(), AppearMask | IN_MASK_ADD);
    }

    bool PathPresent(const std::string& path) const override {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
    }

    std::string Notice() const override { return monitor_ ? std::string() : NoUdevNotice; }

private:
    void Add(int fd) {
        if (fd < 0) return;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        ::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, fd, &event);
    }

    void StartUdev() {
        context_.reset(udev_new());
        if (!context_) return;
        monitor_.reset(udev_monitor_new_from_netlink(context_.get(), "udev"));
        if (monitor_ &&
            udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "tty", nullptr) >= 0 &&
            udev_monitor_enable_receiving(monitor_.get()) >= 0) {
            Add(udev_monitor_get_fd(monitor_.get()));
        } else {
            monitor_.reset();
        }
    }

    std::vector<SerialPortInfo> List() const {
        std::vector<PortProperties> found;
        if (monitor_) found = ScanUdevPorts();
        if (found.empty()) found = ScanSysfsPorts(roots_);
        return PortsFromProperties(found);
    }

    // False when events were lost.
    bool ReadUdev(std::vector<PortEvent>& events) {
        // The socket is non-blocking: receive returns null once it is drained (EAGAIN).
        errno = 0;
        while (udev::Device device{udev_monitor_receive_device(monitor_.get())}) {
            const char* action = udev_device_get_action(device.get());
            const std::string what = action != nullptr ? action : "";
            auto port = PortFromProperties(udev::PropertiesOf(device.get()));
            if (!port) continue;
            auto known = std::find_if(ports_.begin(), ports_.end(),
                                      [&](const SerialPortInfo& p) { return p.node == port->node; });
            if (what == "remove" && known != ports_.end()) {
                events.push_back({PortEvent::Kind::Removed, *known, {}});
                ports_.erase(known);
            } else if (what == "add" && udev::HasParent(device.get())) {
                if (known != ports_.end()) {
                    // A removal we missed: say so before the newcomer.
                    events.push_back({PortEvent::Kind::Removed, *known, {}});
                    ports_.erase(known);
                }
                events.push_back({PortEvent::Kind::Added, *port, {}});
                ports_.insert(std::upper_bound(ports_.begin(), ports_.end(), *port,
                                               [](const SerialPortInfo& a, const SerialPortInfo& b) {
                                                   return PortNameLess(a.name, b.name);
                                               }),
                              *port);
            }
        }
        return errno != ENOBUFS;
    }

    // Reports the watched path's return; true when a tty node came or went under /dev.
    bool ReadInotify(std::vector<PortEvent>& events) {
        bool ttyChanged = false;
        alignas(inotify_event) std::array<char, 4096> buffer;
        for (;;) {
            const ssize_t got = ::read(inotify_.Get(), buffer.data(), buffer.size());
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                inotify_event event;
                std::memcpy(&event, buffer.data() + at, sizeof event);
                const std::string name = event.len > 0 ? std::string(buffer.data() + at + sizeof event) : "";
                at += static_cast<ssize_t>(sizeof event + event.len);
                if (event.wd == devWatch_ && name.rfind("tty", 0) == 0) ttyChanged = true;
                if (event.wd == pathWatch_ && (event.mask & AppearMask) != 0 && name == watchedName_)
                    events.push_back({PortEvent::Kind::PathAppeared, {}, watchedPath_});
            }
        }
        return ttyChanged;
    }

    PortScanRoots roots_;
    Descriptor epoll_;
    Descriptor inotify_;
    udev::Context context_;
    udev::Monitor monitor_;  // null where udev does not run
    int devWatch_ = -1;
    int pathWatch_ = -1;
    std::string watchedPath_, watchedName_;
    std::vector<SerialPortInfo> ports_;
};

}  // namespace

std::unique_ptr<PortMonitor> OpenPortMonitor(const PortScanRoots& roots, bool useUdev) {
    return std::make_unique<SystemPortMonitor>(roots, useUdev);
}

std::vector<PortEvent> PortDifferences(const std::vector<SerialPortInfo>& before,
                                       const std::vector<SerialPortInfo>& after) {
    std::vector<PortEvent> events;
    auto contains = [](const std::vector<SerialPortInfo>& list, const SerialPortInfo& port) {
        return std::find(list.begin(), list.end(), port) != list.end();
    };
    for (const SerialPortInfo& port : before) {
        if (!contains(after, port)) events.push_back({PortEvent::Kind::Removed, port, {}});
    }
    for (const SerialPortInfo& port : after) {
        if (!contains(before, port)) events.push_back({PortEvent::Kind::Added, port, {}});
    }
    return events;
}

}  // namespace zemrik
