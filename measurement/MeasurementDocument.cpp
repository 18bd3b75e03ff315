#include "measurement/MeasurementDocument.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "common/Paths.h"
#include "measurement/MeasurementTexts.h"

namespace zemrik {
namespace {

// The name column of a record's line, 14 characters: the name up to a NUL, padded with spaces.
// (Cutting the line itself would let the spaces and the kind of a NUL-shortened name in.)
std::string NameColumn(const MeasurementRecord& r) {
    const NameField field = PadName(NameText(r.data() + rec::Name));
    return std::string(field.begin(), field.end());
}

std::string TitleFor(const std::string& path) {
    return std::string(AppTitle) + "   [" + FileNamePart(path) + "]";
}

}  // namespace

MeasurementDocument::MeasurementDocument(Prompt& prompt) : prompt_(&prompt) {}

void MeasurementDocument::SetStartFolder(const std::string& folder) {
    openFolder_ = folder;
    saveFolder_ = folder;
}

bool MeasurementDocument::Busy() const {
    return exchange_ || (instrument_ != nullptr && instrument_->Busy());
}

std::string MeasurementDocument::Line(int i) const { return AnsiToUtf8(ListLine(Record(i))); }

std::vector<std::string> MeasurementDocument::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(list_.count);
    for (int i = 0; i < list_.count; ++i) lines.push_back(Line(i));
    return lines;
}

CommandStates MeasurementDocument::Commands(bool portOpen) const {
    CommandStates s;
    // While an exchange runs nothing may start: a modal dialog opened from inside the exchange's
    // message step would hold the exchange up past its deadlines, and a command on the list
    // would change it under the exchange.
    if (Busy()) return s;
    const bool any = list_.count > 0;
    s.open = true;
    s.save = any && (modified_ || fromInstrument_);
    s.get = portOpen;
    s.put = any;
    s.del = any;
    s.rename = any;
    s.report = any;
    s.cables = true;
    s.comPort = true;
    s.about = true;
    s.exit = true;
    return s;
}

void MeasurementDocument::Cancel() {
    if (!Busy()) return;
    cancelled_ = true;
    if (instrument_ != nullptr) instrument_->CancelExchange();
}

bool MeasurementDocument::MayReplaceList() {
    if (!modified_) return true;
    switch (prompt_->Message(UnsavedQuestionText, UnsavedCaption, PromptIcon::Information,
                             PromptButtons::YesNoCancel)) {
        case PromptAnswer::Yes:
            // Only a list that reached its file may go; a cancelled dialog or a failed write
            // keeps it, and the command does not run.
            return Save();
        case PromptAnswer::No:
            return true;
        default:
            return false;
    }
}

CommandResult MeasurementDocument::Get() {
    if (Busy() || !MayReplaceList()) return {};
    cancelled_ = false;
    ExchangeScope exchange(exchange_, observer_);
    // The protocol refuses a directory of more than 200 entries as a failed read; a count the
    // list cannot hold is refused here the same way, whoever delivered it.
    if (instrument_ == nullptr || instrument_->ReadRootTable() != result::Ok ||
        instrument_->GetRootTable().count > MeasurementList::Capacity) {
        exchange.End();
        if (!cancelled_) prompt_->Error(RootTableErrorText, ErrorCaption);
        return {};
    }
    const RootTable& root = instrument_->GetRootTable();
    const int total = root.count;
    if (total == 0) {
        exchange.End();
        prompt_->Message(NoFilesText, InformationCaption, PromptIcon::Information, PromptButtons::Ok);
        return {};
    }

    // Until the first record is in, the old list with its file, title and flags is still the
    // one the user has: a Get that reads nothing gives it back untouched.
    auto previous = std::make_unique<MeasurementList>(list_);
    list_.count = 0;
    if (observer_ != nullptr) observer_->ReadingStarted(total);
    std::string failedName;
    for (int i = 0; i < total && !cancelled_; ++i) {
        const auto n = static_cast<std::uint8_t>(i);
        if (instrument_->ReadRecord(n, &list_.slots[n]) != result::Ok) {
            // The Get ends here: slot i stays the instrument's record i for every line kept, so
            // later deletions still reach the right records.
            failedName = AnsiToUtf8(NameText(root.entries[n].data()));
            break;
        }
        list_.count = static_cast<std::uint8_t>(i + 1);
        if (observer_ != nullptr) observer_->RecordRead(i, total);
    }
    const int read = list_.count;
    if (read > 0) {
        readEntries_.assign(root.entries.begin(), root.entries.begin() + read);
        modified_ = true;
        fromInstrument_ = true;
        title_ = AppTitle;
    } else {
        list_ = *previous;
    }
    exchange.End();
    if (!failedName.empty() && !cancelled_) prompt_->Error(RecordReadErrorText(failedName), ErrorCaption);
    CommandResult done{read > 0, read > 0 ? PanelAction::ShowFirst : PanelAction::Leave, {}};
    done.status = read == total ? ReadDoneText(read) : ReadStoppedText(read, total, cancelled_);
    return done;
}

CommandResult MeasurementDocument::Put(const std::vector<int>& selected) {
    if (Busy()) return {};
    if (prompt_->Message(PutQuestionText, WriteCaption, PromptIcon::Question, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return {};
    const std::vector<bool> chosen = Selection(selected);
    const int total = static_cast<int>(std::count(chosen.begin(), chosen.end(), true));
    if (total == 0) return {};

    cancelled_ = false;
    ExchangeScope exchange(exchange_, observer_);
    int written = 0;
    for (int i = 0; i < list_.count && !cancelled_; ++i) {
        if (!chosen[static_cast<std::size_t>(i)]) continue;
        const std::string name = NameColumn(Record(i));
        // Without a port the handshake cannot succeed: the same failure as an unanswered write.
        const std::uint8_t answer =
            instrument_ == nullptr ? result::Failed : instrument_->WriteRecord(name, Record(i));
        if (cancelled_) break;
        if (answer == result::Failed || answer == result::NoRoom) {
            exchange.End();
            if (answer == result::Failed)
                prompt_->Error(RecordWriteErrorText(AnsiToUtf8(name)), WriteCaption);
            if (answer == result::NoRoom) prompt_->Error(NoRoomText, WriteCaption);
            return {false, PanelAction::Leave, PutStoppedText(written, total, answer)};
        }
        ++written;
        if (observer_ != nullptr) observer_->Progress(written, total);
    }
    return {false, PanelAction::Leave,
            written == total ? PutDoneText(written) : PutStoppedText(written, total, std::nullopt)};
}

bool MeasurementDocument::InstrumentUnchanged(const std::vector<bool>& chosen, ExchangeScope& exchange) {
    if (instrument_->ReadRootTable() != result::Ok) {
        exchange.End();
        if (!cancelled_) prompt_->Error(RootTableErrorText, DeleteCaption);
        return false;
    }
    // Line i is record number i while the list speaks for the instrument: each line about to go
    // must still be the entry the Get read for it (renames change only the list, not the entry).
    const RootTable& root = instrument_->GetRootTable();
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i] &&
            (i >= root.count || i >= readEntries_.size() || root.entries[i] != readEntries_[i])) {
            exchange.End();
            prompt_->Message(InstrumentChangedText, DeleteCaption, PromptIcon::Warning, PromptButtons::Ok);
            return false;
        }
    }
    return true;
}

CommandResult MeasurementDocument::Delete(const std::vector<int>& selected) {
    if (Busy()) return {};
    std::vector<bool> chosen = Selection(selected);
    const int total = static_cast<int>(std::count(chosen.begin(), chosen.end(), true));
    std::optional<ExchangeScope> exchange;
    if (fromInstrument_ && total > 0) {
        if (instrument_ == nullptr) {
            prompt_->Error(PortClosedText, DeleteCaption);
            return {};
        }
        cancelled_ = false;
        exchange.emplace(exchange_, observer_);
        if (!InstrumentUnchanged(chosen, *exchange)) return {};
    }

    int deleted = 0;
    std::optional<std::string> failed;
    int i = 0;
    while (i < list_.count && !cancelled_) {
        if (!chosen[static_cast<std::size_t>(i)]) {
            ++i;
            continue;
        }
        if (fromInstrument_) {
            // The number is the record's place now, after the removals before it in this pass.
            // A deletion that did not happen ends the pass: every later number would name the
            // wrong record, and the instrument still holds this one, so its line stays.
            if (instrument_->DeleteRecord(static_cast<std::uint8_t>(i)) != result::Ok) {
                if (!cancelled_) failed = NameColumn(Record(i));
                break;
            }
            readEntries_.erase(readEntries_.begin() + i);
        }
        list_.Remove(i);
        chosen.erase(chosen.begin() + i);
        ++deleted;
        if (exchange && observer_ != nullptr) observer_->Progress(deleted, total);
    }
    if (exchange) exchange->End();
    if (failed) prompt_->Error(RecordDeleteErrorText(AnsiToUtf8(*failed)), DeleteCaption);
    modified_ = true;
    CommandResult done{true, list_.count > 0 ? PanelAction::ShowFirst : PanelAction::Clear, {}};
    if (total > 0)
        done.status =
            deleted == total ? DeleteDoneText(deleted) : DeleteStoppedText(deleted, total, cancelled_);
    return done;
}

CommandResult MeasurementDocument::DeleteInstrumentRecords(const std::vector<std::uint8_t>& numbers,
                                                           const std::vector<std::string>& expected) {
    if (Busy() || numbers.empty()) return {};
    ExchangeScope exchange(exchange_, observer_);
    if (instrument_ == nullptr || instrument_->ReadRootTable() != result::Ok) {
        exchange.End();
        prompt_->Error(RootTableErrorText, ErrorCaption);
        return {};
    }
    const RootTable& root = instrument_->GetRootTable();
    std::vector<std::string> names;
    for (int i = 0; i < root.count; ++i) {
        const NameField field = PadName(NameText(root.entries[static_cast<std::size_t>(i)].data()));
        names.push_back(AnsiToUtf8(std::string(field.begin(), field.end())));
    }
    // Each expected name must be what its number names at the moment it is deleted.
    if (!expected.empty()) {
        std::vector<std::string> trimmed;
        for (int i = 0; i < root.count; ++i)
            trimmed.push_back(AnsiToUtf8(TrimName(root.entries[static_cast<std::size_t>(i)].data())));
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            const std::size_t n = numbers[k];
            if (k >= expected.size() || n >= trimmed.size() || trimmed[n] != expected[k]) {
                exchange.End();
                prompt_->Message(InstrumentChangedText, DeleteCaption, PromptIcon::Warning,
                                 PromptButtons::Ok);
                return {};
            }
            trimmed.erase(trimmed.begin() + static_cast<std::ptrdiff_t>(n));
        }
    }
    int deleted = 0;
    const int total = static_cast<int>(numbers.size());
    for (std::uint8_t n : numbers) {
        if (instrument_->DeleteRecord(n) != result::Ok) {
            exchange.End();
            prompt_->Error(RecordDeleteErrorText(n < names.size() ? names[n] : std::to_string(n)),
                           DeleteCaption);
            break;
        }
        ++deleted;
        if (n < names.size()) names.erase(names.begin() + n);
    }
    return {false, PanelAction::Leave,
            deleted == total ? DeleteDoneText(deleted) : DeleteStoppedText(deleted, total, false)};
}

bool MeasurementDocument::Rename(int line) {
    if (Busy() || line < 0 || line >= list_.count) return false;
    MeasurementRecord& record = list_.slots[static_cast<std::size_t>(line)];
    const std::optional<std::string> name = prompt_->AskName(AnsiToUtf8(TrimName(record.data() + rec::Name)));
    // The name dialog never ends with an empty name; an empty answer is taken as no answer.
    if (!name || name->empty()) return false;
    RenameRecord(record, Utf8ToAnsi(*name));
    modified_ = true;
    return true;
}

CommandResult MeasurementDocument::Open() {
    if (Busy() || !MayReplaceList()) return {};
    const std::optional<std::string> path = prompt_->ChooseFile(DialogRequest(FileDialogRequest::Kind::Open));
    if (!path) return {};
    return OpenFile(*path);
}

CommandResult MeasurementDocument::OpenFile(const std::string& path) {
    if (Busy()) return {};
    saveFolder_ = FolderPart(path);
    if (!ReadMeasurementFile(path, list_, header_)) {
        prompt_->Error(ReadErrorText(path), ReadErrorCaption);
        return {};
    }
    modified_ = false;
    fromInstrument_ = false;
    readEntries_.clear();
    fileName_ = path;
    title_ = TitleFor(path);
    // A file without records leaves the panel showing what it showed.
    return {true, list_.count > 0 ? PanelAction::ShowFirst : PanelAction::Leave, {}};
}

bool MeasurementDocument::Save() {
    if (Busy()) return false;
    // A list with no file yet (read from the instrument, or changed before anything was opened)
    // needs a name first.
    if (fromInstrument_ || fileName_.empty()) return SaveAs();
    return SaveMeasurements(fileName_);
}

bool MeasurementDocument::SaveAs() {
    if (Busy()) return false;
    const std::optional<std::string> path = prompt_->ChooseFile(DialogRequest(FileDialogRequest::Kind::Save));
    if (!path) return false;
    fileName_ = *path;
    if (!SaveMeasurements(fileName_)) return false;
    fromInstrument_ = false;
    readEntries_.clear();
    return true;
}

bool MeasurementDocument::CloseQuery() { return !Busy() && MayReplaceList(); }

bool MeasurementDocument::SaveMeasurements(const std::string& path) {
    if (!WriteMeasurementFile(path, list_, header_)) {
        prompt_->Error(WriteErrorText(path), WriteErrorCaption);
        return false;
    }
    modified_ = false;
    title_ = TitleFor(path);
    return true;
}

std::vector<bool> MeasurementDocument::Selection(const std::vector<int>& selected) const {
    std::vector<bool> chosen(list_.count, false);
    for (int i : selected)
        if (i >= 0 && i < list_.count) chosen[static_cast<std::size_t>(i)] = true;
    return chosen;
}

FileDialogRequest MeasurementDocument::DialogRequest(FileDialogRequest::Kind kind) const {
    FileDialogRequest request;
    request.kind = kind;
    request.filter = FileFilter;
    request.defaultSuffix = FileSuffix;
    const bool save = kind == FileDialogRequest::Kind::Save;
    request.startFolder = save ? saveFolder_ : openFolder_;
    request.confirmOverwrite = save;
    // A folder that is not there (no "Meas" beside the program yet) leaves the dialog its own.
    std::error_code ec;
    if (!request.startFolder.empty() && !std::filesystem::is_directory(request.startFolder, ec))
        request.startFolder.clear();
    return request;
}

}  // namespace zemrik
