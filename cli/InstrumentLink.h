#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Commands.h"
#include "link/InstrumentConnection.h"
#include "link/MainThreadCalls.h"

// The instrument as the command-line tool reaches it: the serial port opened the way the main
// window opens it at start-up, and the protocol talking through it. Everything runs on the
// thread that made the link; the port's workers reach it through MainThreadCalls::Main().
namespace zemrik::cli {

class InstrumentLink {
public:
    InstrumentLink();
    // Closes the port, which ends its worker threads. A stop signal (SIGINT, SIGTERM, SIGHUP)
    // that came while the link was alive ends the process here, once the port is closed.
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink&) = delete;
    InstrumentLink& operator=(const InstrumentLink&) = delete;

    // Opens the port chosen by `--port` and switches it to 28800 bit/s. On failure the caller
    // reports the result, which says why.
    DeviceError Open(const PortChoice& choice) { return connection_.Open(choice.comNumber, choice.path); }

    Instrument& Device() { return connection_.Device(); }

private:
    MainThreadCalls& calls_;
    // A stop signal counts as a device gone: the exchange under way fails at once.
    InstrumentConnection connection_;
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
