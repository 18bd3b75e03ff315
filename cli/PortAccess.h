#pragma once

#include <optional>

#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "port/ComPortNames.h"
#include "port/MainThreadCalls.h"
#include "protocol/InstrumentConnection.h"

// The commands' way to the instrument in the program: the serial port opened the way the main
// window opens it at start-up, and the protocol talking through it, made when a command first
// needs it. Everything runs on the thread that opened it; the port's workers reach it through
// MainThreadCalls::Main().
namespace zemrik::cli {

class PortAccess : public InstrumentAccess {
public:
    explicit PortAccess(PortChoice port) : port_(std::move(port)) {}
    ~PortAccess() override { Close(); }
    PortAccess(const PortAccess&) = delete;
    PortAccess& operator=(const PortAccess&) = delete;

    InstrumentRecords* Open(Report& report) override;
    InstrumentCables* OpenCables(Report& report) override;
    // Closes the port, which ends its worker threads. A stop signal (SIGINT, SIGTERM, SIGHUP)
    // that came while it was open ends the process here, once the port is closed.
    void Close() override;

private:
    PortChoice port_;
    MainThreadCalls& calls_ = MainThreadCalls::Main();
    // The stop signals are taken before the port opens, whose workers must start with them
    // blocked, and given back after it closed.
    std::optional<StopSignalWatch> stops_;
    std::optional<InstrumentConnection> connection_;
};

}  // namespace zemrik::cli
