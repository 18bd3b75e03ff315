#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "port/ComPortNames.h"

// The command line of zemrik-cli, parsed by CLI11 into one request. Parsing prints nothing: the
// help text or the usage error comes back with the exit code, so tests see it in-process.
namespace zemrik::cli {

// RunCommand (Commands.cpp) picks the command by this order.
enum class CommandId { Show, CablesShow, List, Get, Put, Delete, CablesGet, CablesPut, Ports, Export };

struct CliRequest {
    CommandId command = CommandId::Show;
    std::string file;                              // show, cables show, put, cables put, export
    bool json = false;                             // show, cables show, list, ports
    bool watch = false;                            // ports
    std::optional<std::string> decimalSeparator;   // show, cables show, export: never empty when given
    PortChoice port;                               // the instrument commands
    std::string output;                            // get, cables get, export (-o; export: may be empty)
    std::optional<std::vector<unsigned>> records;  // put and export --records, as given
    std::vector<std::uint8_t> numbers;             // delete
    std::vector<std::string> expected;             // delete --expect: one name per number, or none
};

struct ParseOutcome {
    std::optional<CliRequest> request;  // set: run it; otherwise exit with exitCode
    int exitCode = 0;
    std::string out;  // --help text, for stdout
    std::string err;  // usage error, for stderr
};

// `args` are the words after the program name.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args);

// A usage error found after parsing (a --records index beyond the file): the message in the
// same form as CLI11's, for stderr.
std::string UsageErrorText(const std::string& message);

}  // namespace zemrik::cli
