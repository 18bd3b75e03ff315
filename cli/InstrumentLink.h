#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Commands.h"
#include "link/ComPortNames.h"
#include "link/Commport.h"
#include "link/MainThreadCalls.h"
#include "link/Other.h"

// The instrument as the command-line tool reaches it: the serial port opened the way the main
// window opens it at start-up, and the protocol talking through it. Everything runs on the
// thread that made the link; the port's workers reach it through MainThreadCalls::Main().
namespace zemrik::cli {

inline constexpr std::uint32_t InstrumentBaud = 28800;

class InstrumentLink {
public:
    InstrumentLink();
    // Closes the port, which ends its worker threads. A stop signal (SIGINT, SIGTERM, SIGHUP)
    // that came while the link was alive ends the process here, once the port is closed.
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink&) = delete;
    InstrumentLink& operator=(const InstrumentLink&) = delete;

    // Opens the port chosen by `--port` and switches it to 28800 bit/s. False when the port did
    // not open; the caller reports it, with OpenError() for the reason.
    bool Open(const PortChoice& choice);
    DeviceError OpenError() const { return port_.LastOpenError(); }

    Instrument& Device() { return instrument_; }

private:
    // The protocol's clock. It is the steady clock until the device goes away (an adapter pulled,
    // the emulator ended) or a stop signal comes; from then on every reading jumps past any
    // deadline, so the exchange under way fails at once instead of waiting out its time-outs.
    std::uint64_t Ticks();
    // Serves the port's calls to this thread while the protocol waits: sleeps until bytes or a
    // call arrive, a signal comes or `maxWaitMs` passes.
    void Pump(std::uint32_t maxWaitMs);

    MainThreadCalls& calls_;
    TCommPort port_;
    std::uint64_t skippedMs_ = 0;
    Instrument instrument_;
};

// The commands' way to the instrument in the program: the link, made when a command first needs
// it. Close ends the link, and with it the program when a stop signal came meanwhile.
class PortAccess : public InstrumentAccess {
public:
    explicit PortAccess(PortChoice port) : port_(std::move(port)) {}
    InstrumentCommands* Open(Report& report) override;
    void Close() override { link_.reset(); }

private:
    PortChoice port_;
    std::unique_ptr<InstrumentLink> link_;
};

}  // namespace zemrik::cli
