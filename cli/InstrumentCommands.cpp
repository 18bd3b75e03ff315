// The instrument commands: list, get, put and delete of records, and get and put of the cable
// table. Each opens the instrument, runs its exchanges and closes it again. Get, put and delete
// run the main window's own commands (MeasurementDocument), so they do and say what it does; the
// cable texts are the cable table window's.
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cables/CableTable.h"
#include "cables/CableTableDocument.h"
#include "cables/CableTableFile.h"
#include "cables/CableTexts.h"
#include "cli/CliCommon.h"
#include "cli/CliPrompt.h"
#include "cli/Commands.h"
#include "common/CodePage.h"
#include "common/NameField.h"
#include "measurement/MeasurementDocument.h"
#include "measurement/MeasurementTexts.h"

namespace zemrik::cli {
namespace {

using Json = nlohmann::ordered_json;

// Name text of a 14-byte field in 1251, as UTF-8: the bytes up to the first NUL.
std::string FieldText(const std::uint8_t* field) { return AnsiToUtf8(NameText(field)); }

}  // namespace

int RunList(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentRecords* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    if (instrument->ReadRootTable() != 0) {
        report.Error(RootTableErrorText);
        return ExitFailure;
    }
    const RootTable& root = instrument->GetRootTable();
    if (request.json) {
        Json entries = Json::array();
        for (int i = 0; i < root.count; ++i) {
            const RootEntry& entry = root.entries[static_cast<std::size_t>(i)];
            entries.push_back(Json{{"index", i},
                                   {"name", FieldText(entry.data())},
                                   {"extra", Json::array({entry[NameLength], entry[NameLength + 1]})}});
        }
        report.out = Json{{"count", root.count}, {"entries", std::move(entries)}}.dump(
                         2, ' ', false, Json::error_handler_t::replace) +
                     "\n";
    } else {
        for (int i = 0; i < root.count; ++i) {
            std::string number = std::to_string(i);
            report.out +=
                std::string(number.size() < 3 ? 3 - number.size() : 0, ' ') + number + "  " +
                PrintableText(AnsiToUtf8(TrimName(root.entries[static_cast<std::size_t>(i)].data()))) + "\n";
        }
    }
    return ExitOk;
}

int RunGet(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentRecords* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    CliPrompt prompt(report, request.output);
    ProgressLine progress;
    auto doc = std::make_unique<MeasurementDocument>(prompt);
    doc->SetObserver(&progress);
    doc->SetInstrument(instrument);
    doc->Get();
    doc->SetInstrument(nullptr);
    // Any message means the Get did not read everything. The window keeps the records read
    // before a failed one; here that ends the command with nothing written: a file short of that
    // record would pass for the instrument's whole content.
    if (prompt.MessagesShown() > 0) return ExitFailure;
    access.Close();

    // The save dialog is answered with -o; a fresh document has a header of zeros.
    if (!doc->SaveAs()) return ExitFailure;
    report.out = "Считано записей: " + std::to_string(doc->Count()) + " -> " + request.output + "\n";
    return ExitOk;
}

int RunPut(const CliRequest& request, InstrumentAccess& access, Report& report) {
    CliPrompt prompt(report);
    auto doc = std::make_unique<MeasurementDocument>(prompt);
    doc->OpenFile(request.file);
    if (prompt.MessagesShown() > 0) return ExitFailure;
    std::vector<int> chosen;
    if (request.records) {
        std::optional<std::vector<int>> indices = RecordSelection(*request.records, doc->Count());
        if (!indices) {
            report.err = RecordSelectionError(doc->Count());
            return ExitUsage;
        }
        chosen = std::move(*indices);
    } else {
        for (int i = 0; i < doc->Count(); ++i) chosen.push_back(i);
    }

    InstrumentRecords* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    doc->SetInstrument(instrument);
    const CommandResult done = doc->Put(chosen);
    doc->SetInstrument(nullptr);
    // The window's status line: the count written, and where it stopped.
    if (prompt.MessagesShown() > 0) {
        report.Error(done.status);
        return ExitFailure;
    }
    report.out = done.status + "\n";
    return ExitOk;
}

int RunDelete(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentRecords* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    CliPrompt prompt(report);
    auto doc = std::make_unique<MeasurementDocument>(prompt);
    doc->SetInstrument(instrument);
    const CommandResult done = doc->DeleteInstrumentRecords(request.numbers, request.expected);
    doc->SetInstrument(nullptr);
    if (prompt.MessagesShown() > 0) {
        if (!done.status.empty()) report.Error(done.status);
        return ExitFailure;
    }
    report.out = done.status + "\n";
    return ExitOk;
}

int RunCablesGet(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentCables* instrument = access.OpenCables(report);
    if (instrument == nullptr) return ExitFailure;
    auto table = std::make_unique<CableTable>();
    if (instrument->ReadCableTable(*table) != 0) {
        report.Error(CableReadErrorText);
        return ExitFailure;
    }
    access.Close();
    if (!SaveTableFile(request.output, *table)) {
        report.Error(WriteErrorText(request.output));
        return ExitFailure;
    }
    report.out = "Считано кабелей: " + std::to_string(table->count) + " -> " + request.output + "\n";
    return ExitOk;
}

int RunCablesPut(const CliRequest& request, InstrumentAccess& access, Report& report) {
    auto table = std::make_unique<CableTable>();
    if (!LoadTableFile(request.file, *table)) {
        report.Error(ReadErrorText(request.file));
        return ExitFailure;
    }
    InstrumentCables* instrument = access.OpenCables(report);
    if (instrument == nullptr) return ExitFailure;
    const std::uint8_t answer = instrument->WriteCableTable(*table);
    if (answer == result::Failed) {
        report.Error(CableWriteErrorText);
        return ExitFailure;
    }
    if (answer == result::NoRoom) {
        report.Error(CableNoRoomText);
        return ExitFailure;
    }
    report.out = "Записано кабелей: " + std::to_string(table->count) + "\n";
    return ExitOk;
}

}  // namespace zemrik::cli
