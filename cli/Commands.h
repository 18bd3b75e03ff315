#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The commands of zemrik-cli. To add one: write its Run function in a file of its own, declare
// it here and add a row to the table in Commands.cpp; main() and the usage text follow.
namespace zemrik::cli {

// Runs a command with the arguments that follow its words; returns the exit code.
using CommandFn = int (*)(std::span<const std::string> args);

struct Command {
    std::vector<std::string_view> words;  // e.g. {"cables", "show"}
    CommandFn run;
    std::string_view synopsis;  // the arguments, for the usage text
    std::string_view summary;
};

std::span<const Command> AllCommands();
std::string UsageText();

int RunShow(std::span<const std::string> args);
int RunCablesShow(std::span<const std::string> args);

// Instrument commands (InstrumentCommands.cpp); each needs --port.
int RunList(std::span<const std::string> args);
int RunGet(std::span<const std::string> args);
int RunPut(std::span<const std::string> args);
int RunDelete(std::span<const std::string> args);
int RunCablesGet(std::span<const std::string> args);
int RunCablesPut(std::span<const std::string> args);

}  // namespace zemrik::cli
