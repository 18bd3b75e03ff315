#include "cli/Commands.h"

#include <array>

namespace zemrik::cli {

int RunCommand(const CliRequest& request, InstrumentAccess& access, Report& report) {
    using Runner = int (*)(const CliRequest&, InstrumentAccess&, Report&);
    // In the order of CommandId.
    constexpr std::array<Runner, 10> runners{RunShow,   RunCablesShow, RunList,      RunGet,   RunPut,
                                             RunDelete, RunCablesGet,  RunCablesPut, RunPorts, RunExport};
    const int code = runners[static_cast<std::size_t>(request.command)](request, access, report);
    access.Close();
    return code;
}

}  // namespace zemrik::cli
