#include "sim/Console.h"

#include <charconv>
#include <memory>

#include "common/CodePage.h"
#include "measurement/MeasurementFile.h"

namespace zemrik {

std::string RunConsoleCommand(std::string_view line, InstrumentEmulator& emulator) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    const auto space = line.find(' ');
    const std::string_view verb = line.substr(0, space);
    const std::string_view argument = space == std::string_view::npos ? "" : line.substr(space + 1);
    if (verb == "delete") {
        std::size_t n = 0;
        const auto [end, error] = std::from_chars(argument.data(), argument.data() + argument.size(), n);
        if (error != std::errc() || end != argument.data() + argument.size() || !emulator.RemoveRecord(n))
            return "error: no record " + std::string(argument) + "\n";
        return "deleted " + std::to_string(n) + "\n";
    }
    if (verb == "add") {
        auto list = std::make_unique<MeasurementList>();
        FileHeader header{};
        if (argument.empty() || !ReadMeasurementFile(std::string(argument), *list, header))
            return "error: cannot read " + std::string(argument) + "\n";
        const std::size_t before = emulator.Records().size();
        for (int i = 0; i < list->count; ++i) {
            MeasurementRecord r = list->slots[static_cast<std::size_t>(i)];
            ConvertRecordNames(r, CodePageDirection::AnsiToOem);
            emulator.AddRecord(r);
        }
        return "added " + std::to_string(emulator.Records().size() - before) + "\n";
    }
    return "error: unknown command " + std::string(verb) + " (delete N, add FILE.zmk)\n";
}

}  // namespace zemrik
