#include "Commands.h"

namespace zemrik::cli {

int RunCommand(const CliRequest& request, InstrumentAccess& access, Report& report) {
    int code = 0;
    switch (request.command) {
        case CommandId::Show:
            code = RunShow(request, report);
            break;
        case CommandId::CablesShow:
            code = RunCablesShow(request, report);
            break;
        case CommandId::List:
            code = RunList(request, access, report);
            break;
        case CommandId::Get:
            code = RunGet(request, access, report);
            break;
        case CommandId::Put:
            code = RunPut(request, access, report);
            break;
        case CommandId::Delete:
            code = RunDelete(request, access, report);
            break;
        case CommandId::CablesGet:
            code = RunCablesGet(request, access, report);
            break;
        case CommandId::CablesPut:
            code = RunCablesPut(request, access, report);
            break;
    }
    access.Close();
    return code;
}

}  // namespace zemrik::cli
