#include "cables/CableTableDocument.h"

#include <algorithm>
#include <utility>

#include "cables/CableTableFile.h"
#include "cables/CableTexts.h"
#include "common/CodePage.h"
#include "common/NameField.h"

namespace zemrik {
namespace {

bool IsPlaceholder(const CableTableDocument::Row& row) {
    return std::all_of(row.begin(), row.end(), [](const std::string& cell) { return cell.empty(); });
}

}  // namespace

CableTableDocument::CableTableDocument(CableWindowContext context, CableParametersDialog& dialog,
                                       std::string sep)
    : context_(context), dialog_(dialog), sep_(std::move(sep)), title_(CablesTitle) {}

void CableTableDocument::Open() {
    modified_ = false;
    // A window that loads no file shows the table the program holds; it has no file, so Save
    // asks for one instead of writing to a path that failed to load or to no path at all.
    unnamed_ = context_.lastCablesTbl.empty() || !LoadTableFile(context_.lastCablesTbl, context_.table);
    selected_ = 0;
    SetTitle();
    ShowTable();
}

void CableTableDocument::Select(int row) {
    selected_ = std::clamp(row, 0, static_cast<int>(rows_.size()) - 1);
}

bool CableTableDocument::InsertEnabled() const { return !busy_ && Count() < CableTable::Capacity; }
bool CableTableDocument::DeleteEnabled() const { return !busy_ && Count() > 0; }
bool CableTableDocument::ExchangeEnabled() const { return !busy_ && context_.instrument != nullptr; }
bool CableTableDocument::FilesEnabled() const { return !busy_; }

void CableTableDocument::SetTitle() {
    title_ = unnamed_ ? std::string(CablesTitle) : CablesTitleFor(context_.lastCablesTbl);
}

void CableTableDocument::ShowTable() {
    const CableTable& table = context_.table;
    rows_.assign(std::max<std::size_t>(table.count, 1), Row{});
    for (int k = 0; k < table.count; ++k) {
        const CableRecord& r = table.records[static_cast<std::size_t>(k)];
        rows_[static_cast<std::size_t>(k)] = {CableNameText(r), CableRText(r, sep_), CableCText(r, sep_),
                                              CableDText(r, sep_),
                                              std::string(MaterialText(r[cab::Material]))};
    }
    Select(selected_);
}

void CableTableDocument::ReadGrid() {
    // Every row but the empty table's placeholder is a record, a blank name included, so slot k
    // always matches row k. The texts shown read back, so this only rounds R and C to the
    // decimal shown and writes 0 or 1 for the material.
    CableTable& table = context_.table;
    if (rows_.size() == 1 && IsPlaceholder(rows_[0])) {
        table.count = 0;
        return;
    }
    for (std::size_t k = 0; k < rows_.size(); ++k) {
        const Row& row = rows_[k];
        CableRecord& slot = table.records[k];
        const NameField name = PadName(Utf8ToAnsi(row[0]));
        std::copy(name.begin(), name.end(), slot.begin() + cab::Name);
        if (auto r = ParseCableValue(row[1], sep_)) SetCableR(slot, *r);
        if (auto c = ParseCableValue(row[2], sep_)) SetCableC(slot, *c);
        if (auto d = ParseCableDiameter(row[3], sep_)) slot[cab::D] = *d;
        if (row[4] == MaterialText(0)) slot[cab::Material] = 0;
        if (row[4] == MaterialText(1)) slot[cab::Material] = 1;
    }
    table.count = static_cast<std::uint8_t>(rows_.size());
}

void CableTableDocument::AddRow() {
    if (busy_ || Count() >= CableTable::Capacity) return;
    const auto texts = dialog_.Run(FillDialog(nullptr, sep_), sep_, context_.prompt);
    if (!texts) return;
    // A new record starts from zero bytes, not from the reserved bytes of the row it displaces.
    CableRecord fresh{};
    if (!StoreDialog(*texts, sep_, fresh)) return;
    CableTable& table = context_.table;
    const int s = Count() == 0 ? 0 : selected_;
    std::copy_backward(table.records.begin() + s, table.records.begin() + Count(),
                       table.records.begin() + Count() + 1);
    table.records[static_cast<std::size_t>(s)] = fresh;
    ++table.count;
    modified_ = true;
    selected_ = s;
    ShowTable();
}

void CableTableDocument::EditRow() {
    if (busy_) return;
    ReadGrid();
    if (Count() == 0) {
        AddRow();
    } else {
        CableRecord& slot = context_.table.records[static_cast<std::size_t>(selected_)];
        if (const auto texts = dialog_.Run(FillDialog(&slot, sep_), sep_, context_.prompt)) {
            CableRecord edited = slot;
            if (StoreDialog(*texts, sep_, edited)) {
                slot = edited;
                modified_ = true;
            }
        }
    }
    ShowTable();
}

void CableTableDocument::DeleteRow() {
    if (busy_) return;
    CableTable& table = context_.table;
    if (Count() > 0) {
        // Rows and their whole records move up together, so every record keeps its own
        // reserved bytes when the grid is read back.
        const auto s = static_cast<std::size_t>(selected_);
        rows_.erase(rows_.begin() + selected_);
        std::copy(table.records.begin() + selected_ + 1, table.records.begin() + Count(),
                  table.records.begin() + s);
        --table.count;
        // The emptied table keeps its file: Save writes it there, empty.
        if (rows_.empty()) rows_.assign(1, Row{});
    }
    ReadGrid();
    modified_ = true;
    SetTitle();
    ShowTable();
}

void CableTableDocument::Cancel() {
    if (!busy_) return;
    cancelled_ = true;
    if (context_.instrument != nullptr) context_.instrument->CancelExchange();
}

void CableTableDocument::Get() {
    if (busy_) return;
    InstrumentCables* instrument = context_.instrument;
    if ((instrument != nullptr && instrument->Busy()) || !MayReplaceTable()) return;
    cancelled_ = false;
    // Read into a copy: a failed read leaves the table and the grid as they were.
    CableTable read = context_.table;
    std::uint8_t answer = result::Failed;
    if (instrument != nullptr) {
        ExchangeScope exchange(busy_, observer_);
        answer = instrument->ReadCableTable(read);
    }
    if (answer != result::Ok || read.count > CableTable::Capacity) {
        if (!cancelled_) context_.prompt.Error(CableReadErrorText, ErrorCaption);
        return;
    }
    context_.table = read;
    modified_ = true;
    unnamed_ = true;
    SetTitle();
    ShowTable();
}

void CableTableDocument::Put() {
    if (busy_) return;
    ReadGrid();
    ShowTable();
    if (context_.prompt.Message(CablePutQuestionText, WriteCaption, PromptIcon::Question,
                                PromptButtons::YesNo) != PromptAnswer::Yes)
        return;
    InstrumentCables* instrument = context_.instrument;
    if (instrument != nullptr && instrument->Busy()) return;
    cancelled_ = false;
    std::uint8_t answer = result::Failed;  // as when no answer came
    if (instrument != nullptr) {
        ExchangeScope exchange(busy_, observer_);
        answer = instrument->WriteCableTable(context_.table);
    }
    if (cancelled_) return;
    if (answer == result::Failed) context_.prompt.Error(CableWriteErrorText, WriteCaption);
    if (answer == result::NoRoom) context_.prompt.Error(CableNoRoomText, WriteCaption);
}

void CableTableDocument::Load() {
    if (busy_ || !MayReplaceTable()) return;
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.filter = CableFileFilter;
    request.defaultSuffix = CableFileSuffix;
    request.startFolder = context_.loadStartFolder;
    const auto path = context_.prompt.ChooseFile(request);
    if (!path) return;
    // LoadTableFile refuses a file of more than 64 records and never half-replaces the table.
    if (!LoadTableFile(*path, context_.table)) {
        context_.prompt.Error(ReadErrorText(*path), ReadErrorCaption);
        return;
    }
    context_.lastCablesTbl = *path;
    // The table now has its file, as the title says.
    unnamed_ = false;
    SetTitle();
    ShowTable();
}

bool CableTableDocument::Save() {
    if (busy_) return false;
    bool chosen = false;
    if (unnamed_ || context_.lastCablesTbl.empty()) {
        FileDialogRequest request;
        request.kind = FileDialogRequest::Kind::Save;
        request.filter = CableFileFilter;
        request.defaultSuffix = CableFileSuffix;
        request.confirmOverwrite = true;
        const auto path = context_.prompt.ChooseFile(request);
        if (!path) return false;
        context_.lastCablesTbl = *path;
        chosen = true;
    }
    // An unchanged table is not written again, but a file the user has just named is.
    if (!modified_ && !chosen) return true;
    return SaveTo(context_.lastCablesTbl);
}

bool CableTableDocument::SaveTo(const std::string& path) {
    if (!SaveTableFile(path, context_.table)) {
        context_.prompt.Error(WriteErrorText(path), WriteErrorCaption);
        return false;
    }
    modified_ = false;
    unnamed_ = false;
    SetTitle();
    return true;
}

bool CableTableDocument::CloseQuery() { return !busy_ && MayReplaceTable(); }

bool CableTableDocument::MayReplaceTable() {
    if (!modified_) return true;
    const std::string name = unnamed_ ? std::string() : FileNamePart(context_.lastCablesTbl);
    switch (context_.prompt.Message(CableUnsavedQuestionText(name), CableUnsavedCaption,
                                    PromptIcon::Information, PromptButtons::YesNoCancel)) {
        case PromptAnswer::Yes:
            return Save();  // goes on only with the table safely in its file
        case PromptAnswer::No:
            return true;
        default:
            return false;
    }
}

}  // namespace zemrik
