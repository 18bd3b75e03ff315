#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cables/CableTable.h"
#include "common/Prompt.h"

// The texts of the cable parameters dialog and the rules that check and store them. The dialog
// window only binds its boxes to these; the cable table window's logic uses them too.
namespace zemrik {

// What the dialog's five boxes hold (UTF-8): name, R, C, d, and the index of the material
// entry (0 "Медь", 1 "Алюминий").
struct CableDialogTexts {
    std::string name;
    std::string r;
    std::string c;
    std::string d;
    int material = 0;
};

// The boxes for a new record (nullptr: all empty, "Медь") or for an existing one: R and d as the
// grid shows them, C cut toward zero to a plain integer, any material byte but 0 as "Алюминий".
CableDialogTexts FillDialog(const CableRecord* record, std::string_view sep);
// The C box's text: "45" for 45.6, "-3" for -3.9, "НД" for a value that is not a number; a huge
// value is written out in full, never cut to a machine integer.
std::string DialogCText(float c, std::string_view sep);

enum class CableField { None, R, C, D };
enum class CheckFault { None, NotANumber, OutOfRange };

struct CheckResult {
    CableField field = CableField::None;
    CheckFault fault = CheckFault::None;
    bool Ok() const { return fault == CheckFault::None; }
    // "Некорректные данные!" or "Значение вне диапазона!" (empty when Ok).
    std::string_view Message() const;
};

// The check run before the dialog may close with OK: R, C, d in that order, the first failure
// ends it. Each number is rounded to single precision first, then compared with its limits: R
// (0.1 .. 999.9) and d (0.01 .. 2.55, the most the d byte holds) as doubles, C (1 .. 999) as
// floats. So 999.9 for R and 0.01 for d are refused, their floats lying just outside.
CheckResult CheckValues(std::string_view r, std::string_view c, std::string_view d, std::string_view sep);

// Stores the boxes' texts into `slot`: name, material, C, R and d; the reserved bytes stay. A
// text that does not read back leaves the slot untouched and returns false.
bool StoreDialog(const CableDialogTexts& texts, std::string_view sep, CableRecord& slot);

// The name box's key filter: what a typed character (UTF-8) becomes, or nullopt when it is
// dropped. Backspace passes; any other character only while the whole text stays within 14
// characters, only when code page 1251 holds it, and upper-cased (Cyrillic included).
std::optional<std::string> FilterNameKey(std::string_view currentText, std::string_view typed);
// `text` without the characters code page 1251 cannot hold (for text pasted into the name box).
std::string KeepCodePage1251(std::string_view text);

// The cable parameters dialog as the cable table window's logic sees it: filled with `texts`,
// shown modally; on OK the boxes' texts, which have passed CheckValues. Its messages go to
// `prompt`.
class CableParametersDialog {
public:
    virtual ~CableParametersDialog() = default;
    virtual std::optional<CableDialogTexts> Run(const CableDialogTexts& texts, std::string_view sep,
                                                Prompt& prompt) = 0;
};

}  // namespace zemrik
