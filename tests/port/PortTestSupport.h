#pragma once

#include <time.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "port/CommPort.h"
#include "port/MainThreadCalls.h"
#include "support/FakeSerialDevice.h"

namespace zemrik::test {

inline constexpr std::chrono::seconds kDeadline{5};

// Runs the main thread's queued calls until `done` holds; re-tested every 10 ms at least, for what
// no notifier announces.
inline bool PumpUntil(MainThreadCalls& calls, const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = kDeadline) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        calls.WaitAndRunPending(std::chrono::milliseconds(10));
    }
    return true;
}

// A TCommPort over a fake device; what its handlers capture must be declared before the rig.
struct FakePortRig {
    MainThreadCalls calls;
    FakeSerialDevice* fake = nullptr;
    std::unique_ptr<TCommPort> port;

    FakePortRig() {
        auto device = std::make_unique<FakeSerialDevice>();
        fake = device.get();
        port = std::make_unique<TCommPort>(nullptr, std::move(device), &calls);
        port->SetDataNotifier([this] { calls.Wake(); });
    }
    bool Pump(const std::function<bool()>& done) { return PumpUntil(calls, done); }
};

// The CPU time of the whole process while the caller sleeps for `wall`: what the port's threads
// cost. A thread that spins takes most of a core.
inline std::chrono::milliseconds ProcessCpuDuring(std::chrono::milliseconds wall) {
    const auto cpu = [] {
        timespec t{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    };
    const auto before = cpu();
    std::this_thread::sleep_for(wall);
    return std::chrono::duration_cast<std::chrono::milliseconds>(cpu() - before);
}

inline std::vector<std::uint8_t> Bytes(int count, int seed = 0) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7 + seed));
    return bytes;
}

}  // namespace zemrik::test
