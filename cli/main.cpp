// zemrik-cli: the command-line front door. CLI11 reads the command line; the command runs and
// its report is printed once the port is closed again.
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/PortAccess.h"

int main(int argc, char** argv) {
    using namespace zemrik::cli;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParseOutcome parsed = ParseCommandLine(args);
    Report report;
    int code = parsed.exitCode;
    if (parsed.request) {
        PortAccess access(parsed.request->port);
        code = RunCommand(*parsed.request, access, report);
    } else {
        report.out = std::move(parsed.out);
        report.err = std::move(parsed.err);
    }
    WriteStderr(report.err);
    if (!report.out.empty() && !WriteStdout(report.out)) return ExitFailure;
    return code;
}
