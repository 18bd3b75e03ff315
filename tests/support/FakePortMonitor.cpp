#include "support/FakePortMonitor.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace zemrik::test {

FakePortMonitor::FakePortMonitor() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

FakePortMonitor::~FakePortMonitor() { ::close(fd_); }

void FakePortMonitor::Plug(const SerialPortInfo& port) {
    ports.push_back(port);
    Send({PortEvent::Kind::Added, port, {}});
}

void FakePortMonitor::Pull(const SerialPortInfo& port) {
    std::erase(ports, port);
    Send({PortEvent::Kind::Removed, port, {}});
}

void FakePortMonitor::Send(PortEvent event) {
    pending_.push_back(std::move(event));
    const std::uint64_t one = 1;
    (void)!::write(fd_, &one, sizeof one);  // an eventfd refuses only past 2^64 - 2
}

std::vector<PortEvent> FakePortMonitor::ReadEvents() {
    std::uint64_t count = 0;
    (void)!::read(fd_, &count, sizeof count);  // drained: nothing pending any more
    return std::exchange(pending_, {});
}

}  // namespace zemrik::test
