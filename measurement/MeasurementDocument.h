#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exchange.h"
#include "common/Prompt.h"
#include "measurement/InstrumentRecords.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"

// The main window's commands and state without the window: the measurement list, the current
// file and its header, the two list flags, the title, and the commands that read, write, delete
// and rename records and open and save files. Questions and failures go through a Prompt; the
// instrument through InstrumentRecords. The Qt window binds widgets to it; the command-line
// tool drives the same class, so both say the same things.
//
// Texts handed out are UTF-8; the records keep their names in code page 1251.
namespace zemrik {

// What the window does with the detail panel once a command has run.
enum class PanelAction {
    Leave,      // the panel keeps what it shows
    ShowFirst,  // select line 0 and show record 0
    Clear,      // the list is empty: clear the panel
};

struct CommandResult {
    bool linesChanged = false;  // the list lines are no longer what they were: rebuild them all
    PanelAction panel = PanelAction::Leave;
    std::string status;  // what an exchange did, for the status line ("Записано записей: 3"), or empty
};

// Told when an exchange runs (Busy() is true from ExchangeStarted to ExchangeEnded), and of
// Get's progress.
class MeasurementObserver : public ExchangeObserver {
public:
    // Get: the list has been emptied and `total` records are about to be read.
    virtual void ReadingStarted(int /*total*/) {}
    // Get: record i has been read and is the list's last line (Line(i)).
    virtual void RecordRead(int /*i*/, int /*total*/) {}
    // Put, Delete: `done` of the `total` selected records are written or deleted.
    virtual void Progress(int /*done*/, int /*total*/) {}
};

// Which commands can run now, as the window's actions show it.
struct CommandStates {
    bool open = false;
    bool save = false;  // Save and Save As
    bool get = false;
    bool put = false;
    bool del = false;
    bool rename = false;
    bool report = false;  // the report and the CSV export
    bool cables = false;
    bool comPort = false;
    bool about = false;
    bool exit = false;
};

class MeasurementDocument {
public:
    inline static constexpr std::string_view FileFilter = "Measure Results(*.zmk)";
    inline static constexpr std::string_view FileSuffix = "zmk";

    explicit MeasurementDocument(Prompt& prompt);

    // Questions go to `prompt` from now on (a window swaps its own for a scripted one in tests).
    void SetPrompt(Prompt& prompt) { prompt_ = &prompt; }
    // The instrument behind the open port, or nullptr while no port is open.
    void SetInstrument(InstrumentRecords* instrument) { instrument_ = instrument; }
    void SetObserver(MeasurementObserver* observer) { observer_ = observer; }
    // The starting folder of both file dialogs (the settings' measurement folder).
    void SetStartFolder(const std::string& folder);

    // True while an exchange runs (ours, or one the instrument is in the middle of). Every
    // command is refused meanwhile and the close query says no.
    bool Busy() const;

    int Count() const { return list_.count; }
    const MeasurementRecord& Record(int i) const { return list_.slots.at(static_cast<std::size_t>(i)); }
    // The list line of record i: its name as stored, 8 spaces, the kind's list text.
    std::string Line(int i) const;
    std::vector<std::string> Lines() const;

    const MeasurementList& List() const { return list_; }
    const FileHeader& Header() const { return header_; }
    const std::string& FileName() const { return fileName_; }
    bool Modified() const { return modified_; }
    bool FromInstrument() const { return fromInstrument_; }
    const std::string& Title() const { return title_; }
    const std::string& OpenFolder() const { return openFolder_; }
    const std::string& SaveFolder() const { return saveFolder_; }

    CommandStates Commands(bool portOpen) const;

    // Ends the running Get, Put or Delete: the exchange under way fails at its next byte wait and
    // the command stops before its next record, as if that record had failed, without a message.
    // Called from inside the command (a window event during its byte waits).
    void Cancel();

    // Reads every record of the instrument into the list, after asking about unsaved changes.
    // Stops at the first record that fails (or at a cancel), keeping the records read before it;
    // a Get that reads none leaves the list, its file, title and flags as they were.
    CommandResult Get();
    // Writes the selected lines (indices, any order) into the instrument, after asking.
    CommandResult Put(const std::vector<int>& selected);
    // Removes the selected lines; while the list came from the instrument, also its records there,
    // once the instrument's directory, read again, shows that every number still names the
    // record its line was read from (else nothing is deleted).
    CommandResult Delete(const std::vector<int>& selected);
    // Deletes instrument records by number, in the order given, each number as the instrument
    // counts at that moment (after deleting 1, the old 2 is the new 1): zemrik-cli's delete. Stops
    // at the first deletion refused or unanswered, with Delete's message naming the record by the
    // root table read first (its number, when the table does not list it): every later number
    // would name the wrong record. With `expected` names (trimmed, one per number) nothing is
    // deleted unless each number names its expected record when its turn comes. The list is not
    // touched. The status says how many records were deleted (empty when the check deleted none).
    CommandResult DeleteInstrumentRecords(const std::vector<std::uint8_t>& numbers,
                                          const std::vector<std::string>& expected = {});
    // Asks for a new name of record `line`; true when it changed (its line is then new).
    bool Rename(int line);
    // The open dialog, then the file.
    CommandResult Open();
    // Opens `path` as if it had been chosen in the open dialog.
    CommandResult OpenFile(const std::string& path);
    // True when the list was written.
    bool Save();
    bool SaveAs();
    // The question about unsaved changes; true when the window may close.
    bool CloseQuery();

private:
    // The question about unsaved changes before the list is replaced or closed; true to go on.
    bool MayReplaceList();
    // Reads the directory again: true when each chosen line is still the entry the Get read.
    bool InstrumentUnchanged(const std::vector<bool>& chosen, ExchangeScope& exchange);
    bool SaveMeasurements(const std::string& path);
    std::vector<bool> Selection(const std::vector<int>& selected) const;
    FileDialogRequest DialogRequest(FileDialogRequest::Kind kind) const;

    Prompt* prompt_;
    InstrumentRecords* instrument_ = nullptr;
    MeasurementObserver* observer_ = nullptr;
    bool exchange_ = false;
    bool cancelled_ = false;

    MeasurementList list_;
    FileHeader header_{};
    std::string fileName_;
    bool modified_ = false;
    bool fromInstrument_ = false;
    // While the list speaks for the instrument: the directory entry line i was read from.
    std::vector<RootEntry> readEntries_;
    std::string title_ = "Zemrik";
    std::string openFolder_;
    std::string saveFolder_;
};

}  // namespace zemrik
