#include "Commands.h"

#include <array>

namespace zemrik::cli {

std::span<const Command> AllCommands() {
    static const std::array<Command, 2> commands{{
        {{"show"},
         RunShow,
         "FILE.zmk [--json] [--decimal-separator SEP]",
         "print every record of a measurement file as the detail panel shows it"},
        {{"cables", "show"},
         RunCablesShow,
         "FILE.cbl [--json] [--decimal-separator SEP]",
         "print the rows of a cable table file as the cable table window shows them"},
    }};
    return commands;
}

std::string UsageText() {
    std::string text = "usage:\n";
    for (const Command& command : AllCommands()) {
        std::string line = "  zemrik-cli";
        for (std::string_view word : command.words) line += " " + std::string(word);
        line += " " + std::string(command.synopsis);
        text += line + "\n      " + std::string(command.summary) + "\n";
    }
    text +=
        "  zemrik-cli --help\n"
        "options:\n"
        "  --json                   one JSON document (UTF-8) instead of text\n"
        "  --decimal-separator SEP  separator for numbers (default: the locale's)\n";
    return text;
}

}  // namespace zemrik::cli
