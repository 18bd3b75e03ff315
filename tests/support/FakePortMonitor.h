#pragma once

#include <set>
#include <string>
#include <vector>

#include "port/PortMonitor.h"

namespace zemrik::test {

// Devices plugged in and pulled out by the test. Its descriptor (an eventfd) turns readable
// whenever something is pending, as udev's socket does, so a window's notifier sees it too.
class FakePortMonitor : public PortMonitor {
public:
    FakePortMonitor();
    ~FakePortMonitor() override;
    FakePortMonitor(const FakePortMonitor&) = delete;
    FakePortMonitor& operator=(const FakePortMonitor&) = delete;

    std::vector<SerialPortInfo> ports;
    std::set<std::string> present;  // paths PathPresent finds
    std::string watched;
    std::string notice;

    void Plug(const SerialPortInfo& port);
    void Pull(const SerialPortInfo& port);
    void Send(PortEvent event);

    int Fd() const override { return fd_; }
    const std::vector<SerialPortInfo>& Ports() const override { return ports; }
    std::vector<PortEvent> ReadEvents() override;
    std::vector<PortEvent> Rescan() override { return ReadEvents(); }
    void WatchPath(const std::string& path) override { watched = path; }
    bool PathPresent(const std::string& path) const override { return present.count(path) != 0; }
    std::string Notice() const override { return notice; }

private:
    int fd_;
    std::vector<PortEvent> pending_;
};

}  // namespace zemrik::test
