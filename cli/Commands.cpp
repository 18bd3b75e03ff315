#include "Commands.h"

#include <array>

namespace zemrik::cli {

std::span<const Command> AllCommands() {
    static const std::array<Command, 8> commands{{
        {{"show"},
         RunShow,
         "FILE.zmk [--json] [--decimal-separator SEP]",
         "print every record of a measurement file as the detail panel shows it"},
        {{"cables", "show"},
         RunCablesShow,
         "FILE.cbl [--json] [--decimal-separator SEP]",
         "print the rows of a cable table file as the cable table window shows them"},
        {{"list"}, RunList, "--port PATH|N [--json]", "list the records stored in the instrument"},
        {{"get"},
         RunGet,
         "--port PATH|N -o FILE.zmk",
         "read every record of the instrument into a measurement file"},
        {{"put"},
         RunPut,
         "--port PATH|N FILE.zmk [--records I,J,...]",
         "write records of a measurement file (all, or those numbered from 0) into the instrument"},
        {{"delete"}, RunDelete, "--port PATH|N N...", "delete instrument records N..., one after another"},
        {{"cables", "get"},
         RunCablesGet,
         "--port PATH|N -o FILE.cbl",
         "read the instrument's cable table into a file"},
        {{"cables", "put"},
         RunCablesPut,
         "--port PATH|N FILE.cbl",
         "write a cable table file into the instrument"},
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
        "  --port PATH|N            the instrument's serial port: a device path, or COM number N\n"
        "                           (/dev/ttyS<N-1>); may also come before the command\n"
        "  --json                   one JSON document (UTF-8) instead of text\n"
        "  --decimal-separator SEP  separator for numbers (default: the locale's)\n";
    return text;
}

}  // namespace zemrik::cli
