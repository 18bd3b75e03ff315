#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "port/CommPort.h"
#include "port/MainThreadCalls.h"
#include "port/SerialDevice.h"
#include "protocol/InstrumentProtocol.h"

// The instrument as the window and the command-line tool reach it: the serial port opened the
// way the program always opens it and then switched to the instrument's speed, the protocol
// talking through it, and the protocol's clock and wait step.
//
// The clock is the steady clock until the device goes away (an adapter pulled) or the front end
// asks for the exchange to end; from then on every reading jumps past any deadline, so the
// exchange under way fails at once instead of waiting out its time-outs.
//
// Threading contract: everything on the thread that made it, which `calls` serves.
namespace zemrik {

inline constexpr std::uint32_t InstrumentBaud = 28800;

// What a front end lends the connection for waiting.
struct WaitStep {
    // Sleeps until `wake` is called or `maxWaitMs` pass, serving the port's calls meanwhile.
    std::function<void(std::uint32_t maxWaitMs)> wait;
    // Ends a running `wait` early, or the next one; any thread.
    std::function<void()> wake;
    // Handles what is pending without sleeping (may be empty).
    std::function<void()> serve;
    // True once the exchange under way should end at once (may be empty).
    std::function<bool()> stopRequested;
};

class InstrumentConnection {
public:
    InstrumentConnection(MainThreadCalls& calls, WaitStep step);
    ~InstrumentConnection();
    InstrumentConnection(const InstrumentConnection&) = delete;
    InstrumentConnection& operator=(const InstrumentConnection&) = delete;

    // Closes the port if open, opens COM `comNumber` on the device at `path` and switches it to
    // 28800 bit/s; a device that refuses the speed still works. On failure the port stays closed
    // and the result says why.
    DeviceError Open(int comNumber, const std::string& path);
    void Close();
    bool IsOpen() const { return port_.Enabled(); }
    // True while the open port's device is gone; false when closed.
    bool DeviceGone() const;
    // Told on this thread, once per open, when the port finds its device gone (an adapter pulled,
    // the emulator ended). The port cannot be closed from inside it: queue the close, and check
    // DeviceGone then, since the port may have been opened again meanwhile.
    void SetOnDeviceGone(std::function<void()> handler);

    InstrumentProtocol& Device() { return instrument_; }

private:
    std::uint64_t Ticks();
    void Pump(std::uint32_t maxWaitMs);

    MainThreadCalls& calls_;
    WaitStep step_;
    TCommPort port_;
    std::uint64_t skippedMs_ = 0;
    InstrumentProtocol instrument_;
};

}  // namespace zemrik
