// The instrument commands: list, get, put and delete of records, and get and put of the cable
// table. Each opens the port, runs its exchanges and closes the port again; the texts of failures
// are the main window's and the cable table window's own.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "CliArgs.h"
#include "CliCommon.h"
#include "Commands.h"
#include "InstrumentLink.h"
#include "cables/CableTable.h"
#include "cables/CableTableFile.h"
#include "common/CodePage.h"
#include "common/NameField.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"

namespace zemrik::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr OptionDef PortOption{"--port", true};
constexpr std::array<OptionDef, 2> ListOptions{{PortOption, {"--json", false}}};
constexpr std::array<OptionDef, 3> GetOptions{{PortOption, {"-o", true}, {"--output", true}}};
constexpr std::array<OptionDef, 2> PutOptions{{PortOption, {"--records", true}}};
constexpr std::array<OptionDef, 1> PortOnly{{PortOption}};

constexpr std::string_view RootTableErrorText = "Ошибка при чтении RootTable.";
constexpr std::string_view NoFilesText = "В памяти прибора нет файлов!";
constexpr std::string_view NoRoomText = "Нет места для записи!";
constexpr std::string_view CableReadErrorText = "Ошибка чтения таблицы кабелей!";
constexpr std::string_view CableWriteErrorText = "Ошибка записи!";
constexpr std::string_view CableNoRoomText = "Нет места для таблицы!";

constexpr std::uint8_t WriteError = 1;
constexpr std::uint8_t NoRoom = 2;
constexpr std::uint8_t DeleteDone = 0;
constexpr std::uint8_t DeleteUnanswered = 2;

struct LinkCommandArgs {
    PortChoice port;
    ParsedArgs args;
};

// Parses the command's arguments and its `--port`, which main() moves behind the command words.
// nullopt, with exitCode set, on a usage error.
std::optional<LinkCommandArgs> ParseLinkCommand(std::span<const std::string> args,
                                                std::span<const OptionDef> known, std::size_t minPositional,
                                                std::size_t maxPositional, std::string_view what,
                                                int& exitCode) {
    ParseResult parsed = ParseArgs(args, known);
    if (!parsed.Ok()) {
        exitCode = UsageError(parsed.error);
        return std::nullopt;
    }
    const std::string* port = parsed.args.Value("--port");
    if (port == nullptr) {
        exitCode = UsageError("missing --port PATH|N");
        return std::nullopt;
    }
    std::optional<PortChoice> choice = ParsePortArgument(*port, ComPortNames{});
    if (!choice) {
        exitCode =
            UsageError("--port wants a device path or a COM number from 1 to 255, not '" + *port + "'");
        return std::nullopt;
    }
    const std::vector<std::string>& positional = parsed.args.positional;
    if (positional.size() < minPositional) {
        exitCode = UsageError("missing the " + std::string(what) + " argument");
        return std::nullopt;
    }
    if (positional.size() > maxPositional) {
        exitCode = UsageError("unexpected argument " + positional[maxPositional]);
        return std::nullopt;
    }
    return LinkCommandArgs{*choice, std::move(parsed.args)};
}

// The output file of `-o` or `--output`; nullopt, with exitCode set, when neither was given.
std::optional<std::string> OutputPath(const ParsedArgs& args, int& exitCode) {
    const std::string* path = args.Value("-o");
    if (path == nullptr) path = args.Value("--output");
    if (path == nullptr || path->empty()) {
        exitCode = UsageError("missing -o FILE");
        return std::nullopt;
    }
    return *path;
}

std::optional<unsigned> ParseUnsigned(std::string_view text, unsigned max) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

// Opens the instrument link; on failure prints the main window's message. Null then.
std::unique_ptr<InstrumentLink> OpenLink(const PortChoice& choice) {
    auto link = std::make_unique<InstrumentLink>();
    if (!link->Open(choice)) {
        WriteStderrLine(PortOpenErrorText);
        return nullptr;
    }
    return link;
}

// Name text of a 14-byte field in 1251, as UTF-8: the bytes up to the first NUL.
std::string FieldText(const std::uint8_t* field) { return AnsiToUtf8(NameText(field)); }

// A name for a message on the terminal: control characters from a damaged record become '?'.
std::string MessageName(const std::uint8_t* field) { return PrintableText(FieldText(field)); }

// "\rЧтение 37/200" on stderr, only when a person is watching it.
class Progress {
public:
    explicit Progress(int total) : total_(total), shown_(::isatty(STDERR_FILENO) == 1) {}
    ~Progress() { Finish(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Show(int done) {
        if (!shown_) return;
        std::fprintf(stderr, "\rЧтение %d/%d", done, total_);
        std::fflush(stderr);
        pending_ = true;
    }
    // Ends the progress line, so that a message after it starts on a line of its own.
    void Finish() {
        if (!pending_) return;
        std::fputc('\n', stderr);
        std::fflush(stderr);
        pending_ = false;
    }

private:
    int total_;
    bool shown_;
    bool pending_ = false;
};

// The record indices of `--records 0,2,5` in list order, each once, as the main window writes
// the selected lines of its list from first to last. nullopt for a malformed list or an index
// outside the file.
std::optional<std::vector<int>> ParseRecordSelection(std::string_view text, int count) {
    std::set<int> chosen;
    while (true) {
        std::size_t comma = text.find(',');
        std::optional<unsigned> index = ParseUnsigned(text.substr(0, comma), MeasurementList::Capacity);
        if (!index || static_cast<int>(*index) >= count) return std::nullopt;
        chosen.insert(static_cast<int>(*index));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return std::vector<int>(chosen.begin(), chosen.end());
}

}  // namespace

int RunList(std::span<const std::string> args) {
    int exitCode = ExitOk;
    std::optional<LinkCommandArgs> parsed = ParseLinkCommand(args, ListOptions, 0, 0, "", exitCode);
    if (!parsed) return exitCode;

    std::unique_ptr<InstrumentLink> link = OpenLink(parsed->port);
    if (!link) return ExitFailure;
    Instrument& instrument = link->Device();
    if (instrument.ReadRootTable() != 0) {
        WriteStderrLine(RootTableErrorText);
        return ExitFailure;
    }

    const RootTable& root = instrument.GetRootTable();
    std::string out;
    if (parsed->args.Has("--json")) {
        Json entries = Json::array();
        for (int i = 0; i < root.count; ++i) {
            const RootEntry& entry = root.entries[static_cast<std::size_t>(i)];
            entries.push_back(Json{{"index", i},
                                   {"name", FieldText(entry.data())},
                                   {"extra", Json::array({entry[NameLength], entry[NameLength + 1]})}});
        }
        out = Json{{"count", root.count}, {"entries", std::move(entries)}}.dump(
                  2, ' ', false, Json::error_handler_t::replace) +
              "\n";
    } else {
        for (int i = 0; i < root.count; ++i) {
            std::string number = std::to_string(i);
            out += std::string(number.size() < 3 ? 3 - number.size() : 0, ' ') + number + "  " +
                   PrintableText(AnsiToUtf8(TrimName(root.entries[static_cast<std::size_t>(i)].data()))) +
                   "\n";
        }
    }
    return WriteStdout(out) ? ExitOk : ExitFailure;
}

int RunGet(std::span<const std::string> args) {
    int exitCode = ExitOk;
    std::optional<LinkCommandArgs> parsed = ParseLinkCommand(args, GetOptions, 0, 0, "", exitCode);
    if (!parsed) return exitCode;
    std::optional<std::string> output = OutputPath(parsed->args, exitCode);
    if (!output) return exitCode;

    std::unique_ptr<InstrumentLink> link = OpenLink(parsed->port);
    if (!link) return ExitFailure;
    Instrument& instrument = link->Device();
    // A count above 200 never gets here: the protocol refuses it as a failed read.
    if (instrument.ReadRootTable() != 0) {
        WriteStderrLine(RootTableErrorText);
        return ExitFailure;
    }
    const RootTable& root = instrument.GetRootTable();
    if (root.count == 0) {
        WriteStderrLine(NoFilesText);
        return ExitFailure;
    }

    auto list = std::make_unique<MeasurementList>();
    Progress progress(root.count);
    for (int i = 0; i < root.count; ++i) {
        progress.Show(i);
        // Record i of the instrument goes into slot i, so the file lists them as the instrument
        // numbers them. A failed record ends the Get with nothing written: a file short of that
        // record would pass for the instrument's whole content.
        if (instrument.ReadRecord(static_cast<std::uint8_t>(i), &list->slots[static_cast<std::size_t>(i)]) !=
            0) {
            progress.Finish();
            WriteStderrLine("Ошибка чтения файла " +
                            MessageName(root.entries[static_cast<std::size_t>(i)].data()) + "!");
            return ExitFailure;
        }
        list->count = static_cast<std::uint8_t>(i + 1);
    }
    progress.Show(root.count);
    progress.Finish();
    link.reset();

    // No file has been opened in this process, so the header's reserved bytes are all zero.
    FileHeader header{};
    if (!WriteMeasurementFile(*output, *list, header)) {
        WriteStderrLine(WriteErrorText(*output));
        return ExitFailure;
    }
    return WriteStdout("Считано записей: " + std::to_string(list->count) + " -> " + *output + "\n")
               ? ExitOk
               : ExitFailure;
}

int RunPut(std::span<const std::string> args) {
    int exitCode = ExitOk;
    std::optional<LinkCommandArgs> parsed = ParseLinkCommand(args, PutOptions, 1, 1, "FILE.zmk", exitCode);
    if (!parsed) return exitCode;
    const std::string& path = parsed->args.positional[0];

    auto list = std::make_unique<MeasurementList>();
    FileHeader header{};
    if (!ReadMeasurementFile(path, *list, header)) {
        WriteStderrLine(ReadErrorText(path));
        return ExitFailure;
    }
    std::vector<int> chosen;
    if (const std::string* selection = parsed->args.Value("--records")) {
        std::optional<std::vector<int>> indices = ParseRecordSelection(*selection, list->count);
        if (!indices) {
            return UsageError("--records wants record numbers from 0 to " + std::to_string(list->count - 1) +
                              " separated by commas, not '" + *selection + "'");
        }
        chosen = std::move(*indices);
    } else {
        for (int i = 0; i < list->count; ++i) chosen.push_back(i);
    }

    std::unique_ptr<InstrumentLink> link = OpenLink(parsed->port);
    if (!link) return ExitFailure;
    int written = 0;
    for (int i : chosen) {
        const MeasurementRecord& record = list->slots[static_cast<std::size_t>(i)];
        // The name column of the record's list line: its name field, up to a NUL, padded to 14.
        // (A NUL inside the field would otherwise let spaces and the kind into the name.)
        const NameField name = PadName(NameText(record.data() + rec::Name));
        const std::string nameText(name.begin(), name.end());
        std::uint8_t result = link->Device().WriteRecord(nameText, record);
        if (result == WriteError) {
            WriteStderrLine("Ошибка записи файла " + PrintableText(AnsiToUtf8(nameText)) + " !");
            return ExitFailure;
        }
        if (result == NoRoom) {
            WriteStderrLine(NoRoomText);
            return ExitFailure;
        }
        ++written;
    }
    link.reset();
    return WriteStdout("Записано записей: " + std::to_string(written) + "\n") ? ExitOk : ExitFailure;
}

int RunDelete(std::span<const std::string> args) {
    int exitCode = ExitOk;
    std::optional<LinkCommandArgs> parsed =
        ParseLinkCommand(args, PortOnly, 1, MeasurementList::Capacity, "record number", exitCode);
    if (!parsed) return exitCode;
    std::vector<std::uint8_t> numbers;
    for (const std::string& text : parsed->args.positional) {
        std::optional<unsigned> n = ParseUnsigned(text, 255);
        if (!n) return UsageError("a record number is 0 to 255, not '" + text + "'");
        numbers.push_back(static_cast<std::uint8_t>(*n));
    }

    std::unique_ptr<InstrumentLink> link = OpenLink(parsed->port);
    if (!link) return ExitFailure;
    int deleted = 0;
    for (std::uint8_t n : numbers) {
        std::uint8_t result = link->Device().DeleteRecord(n);
        if (result == DeleteDone) {
            ++deleted;
            continue;
        }
        // Later numbers count on this deletion having happened; going on could delete the wrong
        // records, so the command stops here.
        std::string reason = result == DeleteUnanswered ? "the instrument did not answer"
                                                        : "the instrument answered " + std::to_string(result);
        WriteStderrLine("zemrik-cli: record " + std::to_string(n) + " was not deleted: " + reason +
                        " (deleted " + std::to_string(deleted) + " of " + std::to_string(numbers.size()) +
                        ")");
        return ExitFailure;
    }
    link.reset();
    return WriteStdout("Удалено записей: " + std::to_string(deleted) + "\n") ? ExitOk : ExitFailure;
}

int RunCablesGet(std::span<const std::string> args) {
    int exitCode = ExitOk;
    std::optional<LinkCommandArgs> parsed = ParseLinkCommand(args, GetOptions, 0, 0, "", exitCode);
    if (!parsed) return exitCode;
    std::optional<std::string> output = OutputPath(parsed->args, exitCode);
    if (!output) return exitCode;

    std::unique_ptr<InstrumentLink> link = OpenLink(parsed->port);
    if (!link) return ExitFailure;
    auto table = std::make_unique<CableTable>();
    if (link->Device().ReadCableTable(*table) != 0) {
        WriteStderrLine(CableReadErrorText);
        return ExitFailure;
    }
    link.reset();
    if (!SaveTableFile(*output, *table)) {
        WriteStderrLine(WriteErrorText(*output));
        return ExitFailure;
    }
    return WriteStdout("Считано кабелей: " + std::to_string(table->count) + " -> " + *output + "\n")
               ? ExitOk
               : ExitFailure;
}

int RunCablesPut(std::span<const std::string> args) {
    int exitCode = ExitOk;
    std::optional<LinkCommandArgs> parsed = ParseLinkCommand(args, PortOnly, 1, 1, "FILE.cbl", exitCode);
    if (!parsed) return exitCode;
    const std::string& path = parsed->args.positional[0];

    auto table = std::make_unique<CableTable>();
    if (!LoadTableFile(path, *table)) {
        WriteStderrLine(ReadErrorText(path));
        return ExitFailure;
    }
    std::unique_ptr<InstrumentLink> link = OpenLink(parsed->port);
    if (!link) return ExitFailure;
    std::uint8_t result = link->Device().WriteCableTable(*table);
    link.reset();
    if (result == WriteError) {
        WriteStderrLine(CableWriteErrorText);
        return ExitFailure;
    }
    if (result == NoRoom) {
        WriteStderrLine(CableNoRoomText);
        return ExitFailure;
    }
    return WriteStdout("Записано кабелей: " + std::to_string(table->count) + "\n") ? ExitOk : ExitFailure;
}

}  // namespace zemrik::cli
