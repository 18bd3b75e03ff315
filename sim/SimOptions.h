#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/InstrumentEmulator.h"

// The command line of zemrik-sim. Other programs' tests start it, so the flags are kept stable.
namespace zemrik {

struct SimOptions {
    std::string recordsPath;      // --records FILE.zmk
    std::string cablesPath;       // --cables FILE.cbl
    std::string saveRecordsPath;  // --save-records FILE.zmk, written at exit
    std::string saveCablesPath;   // --save-cables FILE.cbl, written at exit
    std::string linkPath;         // --link PATH: a symlink to the terminal, removed at exit
    int capacity = InstrumentEmulator::MaxRecords;
    EmulatorFaults faults;
    std::uint32_t paceBaud = 0;  // 0: send as fast as the terminal takes it
    bool noStdin = false;
    bool trace = false;
};

struct SimParse {
    std::optional<SimOptions> options;  // set: run with them; otherwise exit with exitCode
    int exitCode = 0;                   // 0 after --help, 2 on a usage error
    std::string out;                    // the --help text
    std::string err;                    // the usage error
};

// Parses the arguments after the program name (CLI11); prints nothing.
SimParse ParseSimOptions(const std::vector<std::string>& args);

}  // namespace zemrik
