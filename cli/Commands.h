#pragma once

#include <string>
#include <string_view>

#include "cables/InstrumentCables.h"
#include "cli/CliOptions.h"
#include "measurement/InstrumentRecords.h"

// The commands of zemrik-cli. Each fills a Report instead of printing (only get's progress line
// goes straight to a terminal), so the caller prints it once the port is closed, and a stop
// signal then ends the program before the exchange it cut short is reported as a fault; tests
// read the report in-process.
namespace zemrik::cli {

struct Report {
    std::string out;  // for stdout
    std::string err;  // for stderr, whole lines
    void Error(std::string_view line) {
        err += line;
        err += '\n';
    }
};

// The instrument a command talks to: the serial port in the program, an in-memory one in tests.
class InstrumentAccess {
public:
    virtual ~InstrumentAccess() = default;
    // The instrument's records or its cable table, or null when it cannot be reached (the reason
    // then is in `report`).
    virtual InstrumentRecords* Open(Report& report) = 0;
    virtual InstrumentCables* OpenCables(Report& report) = 0;
    // Ends the session; the port is given back before a file is written or anything printed.
    virtual void Close() = 0;
};

// Runs the request; returns the exit code. Closes `access` before it returns.
int RunCommand(const CliRequest& request, InstrumentAccess& access, Report& report);

// File commands (ShowCommands.cpp); they leave `access` alone.
int RunShow(const CliRequest& request, InstrumentAccess& access, Report& report);
int RunCablesShow(const CliRequest& request, InstrumentAccess& access, Report& report);

// Instrument commands (InstrumentCommands.cpp).
int RunList(const CliRequest& request, InstrumentAccess& access, Report& report);
int RunGet(const CliRequest& request, InstrumentAccess& access, Report& report);
int RunPut(const CliRequest& request, InstrumentAccess& access, Report& report);
int RunDelete(const CliRequest& request, InstrumentAccess& access, Report& report);
int RunCablesGet(const CliRequest& request, InstrumentAccess& access, Report& report);
int RunCablesPut(const CliRequest& request, InstrumentAccess& access, Report& report);

// The serial devices (PortsCommand.cpp); leaves `access` alone.
int RunPorts(const CliRequest& request, InstrumentAccess& access, Report& report);

// CSV export of a measurement file (ExportCommand.cpp); it leaves `access` alone.
int RunExport(const CliRequest& request, InstrumentAccess& access, Report& report);

}  // namespace zemrik::cli
