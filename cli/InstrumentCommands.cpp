// The instrument commands: list, get, put and delete of records, and get and put of the cable
// table. Each opens the instrument, runs its exchanges and closes it again; the texts of failures
// are the main window's and the cable table window's own.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "CliCommon.h"
#include "Commands.h"
#include "cables/CableTable.h"
#include "cables/CableTableFile.h"
#include "common/CodePage.h"
#include "common/NameField.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"

namespace zemrik::cli {
namespace {

using Json = nlohmann::ordered_json;

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
// the selected lines of its list from first to last. nullopt for an index outside the file.
std::optional<std::vector<int>> RecordSelection(const std::vector<unsigned>& given, int count) {
    std::set<int> chosen;
    for (unsigned index : given) {
        if (index >= static_cast<unsigned>(count)) return std::nullopt;
        chosen.insert(static_cast<int>(index));
    }
    return std::vector<int>(chosen.begin(), chosen.end());
}

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
    // A count above 200 never gets here: the protocol refuses it as a failed read.
    if (instrument->ReadRootTable() != 0) {
        report.Error(RootTableErrorText);
        return ExitFailure;
    }
    const RootTable& root = instrument->GetRootTable();
    if (root.count == 0) {
        report.Error(NoFilesText);
        return ExitFailure;
    }

    auto list = std::make_unique<MeasurementList>();
    Progress progress(root.count);
    for (int i = 0; i < root.count; ++i) {
        progress.Show(i);
        // Record i of the instrument goes into slot i, so the file lists them as the instrument
        // numbers them. A failed record ends the Get with nothing written: a file short of that
        // record would pass for the instrument's whole content.
        if (instrument->ReadRecord(static_cast<std::uint8_t>(i), &list->slots[static_cast<std::size_t>(i)]) !=
            0) {
            report.Error("Ошибка чтения файла " +
                         MessageName(root.entries[static_cast<std::size_t>(i)].data()) + "!");
            return ExitFailure;
        }
        list->count = static_cast<std::uint8_t>(i + 1);
    }
    progress.Show(root.count);
    progress.Finish();
    access.Close();

    // No file has been opened in this process, so the header's reserved bytes are all zero.
    FileHeader header{};
    if (!WriteMeasurementFile(request.output, *list, header)) {
        report.Error(WriteErrorText(request.output));
        return ExitFailure;
    }
    report.out = "Считано записей: " + std::to_string(list->count) + " -> " + request.output + "\n";
    return ExitOk;
}

int RunPut(const CliRequest& request, InstrumentAccess& access, Report& report) {
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
            report.err =
                UsageErrorText("--records: the file holds records 0 to " + std::to_string(list->count - 1));
            return ExitUsage;
        }
        chosen = std::move(*indices);
    } else {
        for (int i = 0; i < list->count; ++i) chosen.push_back(i);
    }

    InstrumentCommands* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    int written = 0;
    for (int i : chosen) {
        const MeasurementRecord& record = list->slots[static_cast<std::size_t>(i)];
        // The name column of the record's list line: its name field, up to a NUL, padded to 14.
        // (A NUL inside the field would otherwise let spaces and the kind into the name.)
        const NameField name = PadName(NameText(record.data() + rec::Name));
        const std::string nameText(name.begin(), name.end());
        const std::uint8_t result = instrument->WriteRecord(nameText, record);
        if (result == WriteError) {
            report.Error("Ошибка записи файла " + PrintableText(AnsiToUtf8(nameText)) + " !");
            return ExitFailure;
        }
        if (result == NoRoom) {
            report.Error(NoRoomText);
            return ExitFailure;
        }
        ++written;
    }
    report.out = "Записано записей: " + std::to_string(written) + "\n";
    return ExitOk;
}

int RunDelete(const CliRequest& request, InstrumentAccess& access, Report& report) {
    InstrumentCommands* instrument = access.Open(report);
    if (instrument == nullptr) return ExitFailure;
    int deleted = 0;
    for (std::uint8_t n : request.numbers) {
        const std::uint8_t result = instrument->DeleteRecord(n);
        if (result == DeleteDone) {
            ++deleted;
            continue;
        }
        // Later numbers count on this deletion having happened; going on could delete the wrong
        // records, so the command stops here.
        const std::string reason = result == DeleteUnanswered
                                       ? "the instrument did not answer"
                                       : "the instrument answered " + std::to_string(result);
        report.Error("zemrik-cli: record " + std::to_string(n) + " was not deleted: " + reason +
                     " (deleted " + std::to_string(deleted) + " of " +
                     std::to_string(request.numbers.size()) + ")");
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
