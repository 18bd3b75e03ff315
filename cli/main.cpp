// zemrik-cli: the command-line front door. main() only picks the command; each command parses
// its own arguments.
#include <span>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "Commands.h"

namespace {

bool WantsHelp(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") return true;
    }
    return false;
}

// The command whose words begin the arguments; the longest match wins.
const zemrik::cli::Command* FindCommand(const std::vector<std::string>& args) {
    const zemrik::cli::Command* best = nullptr;
    for (const zemrik::cli::Command& command : zemrik::cli::AllCommands()) {
        if (command.words.size() > args.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < command.words.size() && match; ++i) match = args[i] == command.words[i];
        if (match && (best == nullptr || command.words.size() > best->words.size())) best = &command;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zemrik::cli;
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (WantsHelp(args)) return WriteStdout(UsageText()) ? ExitOk : ExitFailure;
    // The port may come before the command ("zemrik-cli --port /dev/ttyUSB0 get -o a.zmk"); it is
    // handed to the command as one of its own options.
    std::vector<std::string> portOptions;
    while (!args.empty() && (args[0] == "--port" || args[0].starts_with("--port="))) {
        if (args[0] == "--port" && args.size() < 2) return UsageError("option --port needs a value");
        std::size_t taken = args[0] == "--port" ? 2 : 1;
        portOptions.insert(portOptions.end(), args.begin(),
                           args.begin() + static_cast<std::ptrdiff_t>(taken));
        args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(taken));
    }
    if (args.empty()) return UsageError("no command given");
    const Command* command = FindCommand(args);
    if (command == nullptr) {
        // Name both words when the first one opens a group ("cables frobnicate").
        std::string name = args[0];
        for (const Command& known : AllCommands()) {
            if (known.words.size() > 1 && known.words[0] == args[0] && args.size() > 1) {
                name += " " + args[1];
                break;
            }
        }
        return UsageError("unknown command " + name);
    }
    std::vector<std::string> commandArgs = std::move(portOptions);
    commandArgs.insert(commandArgs.end(), args.begin() + static_cast<std::ptrdiff_t>(command->words.size()),
                       args.end());
    return command->run(commandArgs);
}
