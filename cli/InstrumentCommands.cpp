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

#include "CliCommon.h"
#include "CliPrompt.h"
#include "Commands.h"
#include "cables/CableTable.h"
#include "cables/CableTableDocument.h"
#include "cables/CableTableFile.h"
#include "common/CodePage.h"
#include "common/NameField.h"
#include "measurement/MeasurementDocument.h"
#include "measurement/MeasurementTexts.h"

namespace zemrik::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::uint8_t WriteError = 1;
constexpr std::uint8_t NoRoom = 2;

// Name text of a 14-byte field in 1251, as UTF-8: the bytes up to the first NUL.
std::string FieldText(const std::uint8_t* field) { return AnsiToUtf8(NameText(field)); }

}  // namespace

int RunList(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentCommands* instrument = access.Open(report);
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
    InstrumentCommands* instrument = access.Open(report);
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

    InstrumentCommands* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    doc->SetInstrument(instrument);
    doc->Put(chosen);
    doc->SetInstrument(nullptr);
    if (prompt.MessagesShown() > 0) return ExitFailure;
    report.out = "Записано записей: " + std::to_string(chosen.size()) + "\n";
    return ExitOk;
}

int RunDelete(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentCommands* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    CliPrompt prompt(report);
    auto doc = std::make_unique<MeasurementDocument>(prompt);
    doc->SetInstrument(instrument);
    const int deleted = doc->DeleteInstrumentRecords(request.numbers);
    doc->SetInstrument(nullptr);
    if (prompt.MessagesShown() > 0) {
        report.Error("zemrik-cli: deleted " + std::to_string(deleted) + " of " +
                     std::to_string(request.numbers.size()));
        return ExitFailure;
    }
    report.out = "Удалено записей: " + std::to_string(deleted) + "\n";
    return ExitOk;
}

int RunCablesGet(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentCommands* instrument = access.Open(report);
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
    InstrumentCommands* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    const std::uint8_t result = instrument->WriteCableTable(*table);
    if (result == WriteError) {
        report.Error(CableWriteErrorText);
        return ExitFailure;
    }
    if (result == NoRoom) {
        report.Error(CableNoRoomText);
        return ExitFailure;
    }
    report.out = "Записано кабелей: " + std::to_string(table->count) + "\n";
    return ExitOk;
}

}  // namespace zemrik::cli
