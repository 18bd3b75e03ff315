// "export": the records of a measurement file as CSV, to a file or to stdout, as the window's
// "Экспорт CSV..." writes them.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "common/FileIO.h"
#include "common/MessageTexts.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"
#include "report/CsvExport.h"

namespace zemrik::cli {

int RunExport(const CliRequest& request, InstrumentAccess&, Report& report) {
    auto list = std::make_unique<MeasurementList>();
    FileHeader header{};
    if (!ReadMeasurementFile(request.file, *list, header)) {
        report.Error(ReadErrorText(request.file));
        return ExitFailure;
    }
    std::vector<int> chosen;
    if (request.records) {
        std::optional<std::vector<int>> indices = RecordSelection(*request.records, list->count);
        if (!indices) {
            report.err = RecordSelectionError(list->count);
            return ExitUsage;
        }
        chosen = std::move(*indices);
    } else {
        for (int i = 0; i < list->count; ++i) chosen.push_back(i);
    }

    const std::string csv = BuildCsv(*list, chosen, DecimalSeparator(request));
    if (request.output.empty()) {
        report.out = csv;
        return ExitOk;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(csv.data());
    if (!WriteFileAtomically(request.output, std::span<const std::uint8_t>(bytes, csv.size()))) {
        report.Error(WriteErrorText(request.output));
        return ExitFailure;
    }
    report.out = "Записей в CSV: " + std::to_string(chosen.size()) + " -> " + request.output + "\n";
    return ExitOk;
}

}  // namespace zemrik::cli
