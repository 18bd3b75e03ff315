#include "cli/CliOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <sstream>

#include "cli/CliCommon.h"
#include "zemrik/Version.h"

namespace zemrik::cli {
namespace {

const CLI::Validator NonEmpty(
    [](const std::string& value) { return value.empty() ? std::string("must not be empty") : std::string(); },
    "", "NON-EMPTY");

const CLI::Validator PortArgument(
    [](const std::string& value) {
        return ParsePortArgument(value, ComPortNames{})
                   ? std::string()
                   : "wants a device path or a COM number from 1 to 255, not '" + value + "'";
    },
    "", "PORT");

bool NeedsPort(CommandId id) {
    return id != CommandId::Show && id != CommandId::CablesShow && id != CommandId::Ports &&
           id != CommandId::Export;
}

std::string FailureMessage(const CLI::App*, const CLI::Error& e) { return UsageErrorText(e.what()); }

// A usage error found once CLI11 is done (the --port rules below), reported like its own.
class LateUsageError : public CLI::ParseError {
public:
    explicit LateUsageError(const std::string& message)
        : CLI::ParseError("LateUsageError", message, CLI::ExitCodes::ValidationError) {}
};

// The CLI11 application and the variables its options fill, turned into one CliRequest.
struct Parser {
    CLI::App app{"Reads Zemrik measurement and cable table files, and talks to the instrument.",
                 "zemrik-cli"};
    CliRequest request;
    std::string port;
    std::vector<unsigned> records;
    std::vector<unsigned> numbers;
    std::string separator;
    std::vector<CLI::Option*> recordsOptions;
    std::vector<std::pair<CLI::App*, CommandId>> commands;

    CLI::App* Command(CLI::App& parent, const std::string& name, const std::string& what, CommandId id) {
        CLI::App* command = parent.add_subcommand(name, what);
        if (NeedsPort(id)) command->footer("Needs --port PATH|N, before or after the command.");
        commands.emplace_back(command, id);
        return command;
    }
    void FileArgument(CLI::App& command, const std::string& file, const std::string& what) {
        command.add_option(file, request.file, what)->required()->check(NonEmpty)->type_name("");
    }
    void JsonFlag(CLI::App& command) {
        command.add_flag("--json", request.json, "one JSON document (UTF-8) instead of text")
            ->disable_flag_override();
    }
    void SeparatorOption(CLI::App& command) {
        command
            .add_option("--decimal-separator", separator,
                        "separator for numbers (default: the one of the locale, LC_NUMERIC)")
            ->check(NonEmpty)
            ->type_name("SEP")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    void FileCommand(CLI::App& parent, const std::string& name, const std::string& what, CommandId id,
                     const std::string& file) {
        CLI::App* command = Command(parent, name, what, id);
        FileArgument(*command, file, "the file");
        JsonFlag(*command);
        SeparatorOption(*command);
    }
    // Checked against the file once it is read.
    void RecordsOption(CLI::App& command) {
        recordsOptions.push_back(
            command
                .add_option("--records", records, "record numbers of the file, from 0, separated by commas")
                ->delimiter(',')
                ->check(NonEmpty)  // an unset shell variable must not pass for record 0
                ->allow_extra_args(false)
                ->type_name("I,J,..."));
    }
    void OutputOption(CLI::App& command, const std::string& file) {
        command.add_option("-o,--output", request.output, "the file to write")
            ->required()
            ->check(NonEmpty)
            ->type_name(file)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }

    Parser() {
        app.fallthrough();  // --port may follow the command as well as come before it
        app.failure_message(FailureMessage);
        app.set_version_flag("--version", "zemrik-cli " + std::string(zemrik::Version),
                             "print the version and exit");
        app.add_option(
               "--port", port,
               "the instrument's serial port: a device path (a node, or the stable path `ports` prints), or "
               "COM number N (/dev/ttyS<N-1>)")
            ->check(PortArgument)
            ->type_name("PATH|N")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);  // a script may override its default

        FileCommand(app, "show", "print every record of a measurement file as the detail panel shows it",
                    CommandId::Show, "FILE.zmk");
        CLI::App* cables = app.add_subcommand("cables", "cable table files and the instrument's table");
        FileCommand(*cables, "show", "print the rows of a cable table file as the cable table window does",
                    CommandId::CablesShow, "FILE.cbl");

        JsonFlag(*Command(app, "list", "list the records stored in the instrument", CommandId::List));
        OutputOption(*Command(app, "get", "read every record of the instrument into a measurement file",
                              CommandId::Get),
                     "FILE.zmk");
        CLI::App* put =
            Command(app, "put",
                    "write records of a measurement file (all, or those numbered from 0) into the instrument",
                    CommandId::Put);
        FileArgument(*put, "FILE.zmk", "the measurement file");
        RecordsOption(*put);
        CLI::App* del =
            Command(app, "delete", "delete instrument records N..., one after another", CommandId::Delete);
        del->add_option("N", numbers, "record numbers as the instrument counts them, 0 to 255")
            ->required()
            ->type_name("")
            ->check(CLI::Range(0u, 255u).description(""));
        del->add_option("--expect", request.expected,
                        "the name each number must still name when its turn comes, one per number; "
                        "else nothing is deleted")
            ->type_name("NAME...");
        OutputOption(
            *Command(*cables, "get", "read the instrument's cable table into a file", CommandId::CablesGet),
            "FILE.cbl");
        FileArgument(
            *Command(*cables, "put", "write a cable table file into the instrument", CommandId::CablesPut),
            "FILE.cbl", "the cable table file");
        CLI::App* ports =
            Command(app, "ports", "list the serial devices present, as the port menu does", CommandId::Ports);
        JsonFlag(*ports);
        ports
            ->add_flag("--watch", request.watch,
                       "print a line per device plugged in or pulled out (with --json, an object a line), "
                       "until stopped")
            ->disable_flag_override();
        CLI::App* exportCommand = Command(
            app, "export", "write records of a measurement file (all, or those numbered from 0) as CSV",
            CommandId::Export);
        FileArgument(*exportCommand, "FILE.zmk", "the measurement file");
        RecordsOption(*exportCommand);
        exportCommand->add_option("-o,--output", request.output, "the CSV file to write (default: stdout)")
            ->check(NonEmpty)
            ->type_name("FILE.csv")
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        SeparatorOption(*exportCommand);
    }

    // What CLI11 cannot say on its own: which commands need --port and which refuse it.
    void Finish() {
        auto chosen =
            std::find_if(commands.begin(), commands.end(), [](const auto& c) { return c.first->parsed(); });
        if (chosen == commands.end()) throw LateUsageError("a command is required");
        request.command = chosen->second;
        const bool needsPort = NeedsPort(request.command);
        if (needsPort && port.empty()) throw LateUsageError("--port is required");
        if (!needsPort && !port.empty()) throw LateUsageError("--port is not an option of this command");
        if (needsPort) request.port = *ParsePortArgument(port, ComPortNames{});
        if (!separator.empty()) request.decimalSeparator = separator;
        for (const CLI::Option* option : recordsOptions)
            if (option->count() > 0) request.records = records;
        for (unsigned n : numbers) request.numbers.push_back(static_cast<std::uint8_t>(n));
        if (!request.expected.empty() && request.expected.size() != request.numbers.size())
            throw LateUsageError("--expect needs one name for each record number");
    }
};

}  // namespace

std::string UsageErrorText(const std::string& message) {
    return "zemrik-cli: " + message + "\nRun with --help for more information.\n";
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& args) {
    Parser parser;
    ParseOutcome outcome;
    try {
        // CLI11 takes the words last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        parser.app.parse(reversed);
        parser.Finish();
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = parser.app.exit(e, out, err);
        outcome.exitCode = code == 0 ? ExitOk : ExitUsage;
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }
    outcome.request = std::move(parser.request);
    return outcome;
}

}  // namespace zemrik::cli
