#pragma once

#include <array>
#include <string>
#include <vector>

#include "cables/CableParameters.h"
#include "cables/CableTable.h"
#include "cables/InstrumentCables.h"
#include "common/Exchange.h"
#include "common/Prompt.h"

// The cable table window without its widgets: the grid as rows of texts, the table's slots, the
// modified and unnamed flags, and every command of the window. Questions and failures go through
// the prompt; the window shows the rows, the title and the enabled commands after each command,
// and is told when an exchange with the instrument starts and ends.
namespace zemrik {

// What the main window lends the cable table window for one showing.
struct CableWindowContext {
    CableTable& table;             // the program's one cable table
    InstrumentCables* instrument;  // nullptr while no port is open
    std::string& lastCablesTbl;    // UTF-8 path of the last table file; kept in the settings
    std::string loadStartFolder;   // where the main window's open dialog starts
    Prompt& prompt;
};

class CableTableDocument {
public:
    static constexpr int Columns = 5;
    using Row = std::array<std::string, Columns>;  // name, R, C, d, material

    // `sep` is the decimal separator of every number shown and typed.
    CableTableDocument(CableWindowContext context, CableParametersDialog& dialog, std::string sep);

    void SetObserver(ExchangeObserver* observer) { observer_ = observer; }
    // The port opened or closed while the window shows (a device pulled out or plugged back in);
    // never during an exchange.
    void SetInstrument(InstrumentCables* instrument) { context_.instrument = instrument; }

    // The window has opened: loads the remembered table file, else shows the table the program
    // holds (with no file, so Save asks for a name).
    void Open();

    // Data rows of the grid (at least one: an empty table shows one row of empty cells).
    const std::vector<Row>& Rows() const { return rows_; }
    int Selected() const { return selected_; }
    void Select(int row);
    const std::string& Title() const { return title_; }
    bool Modified() const { return modified_; }
    bool Unnamed() const { return unnamed_; }
    bool Busy() const { return busy_; }

    bool InsertEnabled() const;
    bool DeleteEnabled() const;
    bool ExchangeEnabled() const;  // Get and Put
    bool FilesEnabled() const;     // Load and Save

    void AddRow();     // above the selected row; nothing while the table is full
    void EditRow();    // the selected row; on an empty table the same as AddRow
    void DeleteRow();  // the selected row, without a question
    // Get and Load replace the table: with unsaved changes they ask first.
    void Get();
    void Put();
    void Load();
    // Ends a running Get or Put at its next byte wait; it then fails without a message.
    void Cancel();
    bool Save();  // true when the table is now in its file
    // Whether the window may close now (asks about unsaved changes; never during an exchange).
    bool CloseQuery();

private:
    int Count() const { return context_.table.count; }
    void ShowTable();
    void ReadGrid();
    void SetTitle();
    // The question about unsaved changes; true when the table may be replaced or the window close.
    bool MayReplaceTable();
    bool SaveTo(const std::string& path);

    CableWindowContext context_;
    CableParametersDialog& dialog_;
    std::string sep_;
    ExchangeObserver* observer_ = nullptr;
    std::vector<Row> rows_{Row{}};
    int selected_ = 0;
    std::string title_;
    bool modified_ = false;
    bool unnamed_ = false;
    bool busy_ = false;
    bool cancelled_ = false;
};

}  // namespace zemrik
