#include "cables/CableParameters.h"

#include <algorithm>
#include <cmath>

#include "cables/CableTexts.h"
#include "common/CodePage.h"
#include "common/FormatFixed.h"
#include "common/NameField.h"

namespace zemrik {
namespace {

constexpr std::size_t NameChars = 14;

// Upper case of a code page 1251 letter; other bytes stay. Beside a-z and а-я (0xE0..0xFF), the
// letters of the other Cyrillic alphabets 1251 carries.
std::uint8_t Upper1251(std::uint8_t c) {
    if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 0x20);
    if (c >= 0xE0) return static_cast<std::uint8_t>(c - 0x20);
    switch (c) {
        case 0x83:
            return 0x81;
        case 0x90:
            return 0x80;
        case 0x9A:
            return 0x8A;
        case 0x9C:
            return 0x8C;
        case 0x9D:
            return 0x8D;
        case 0x9E:
            return 0x8E;
        case 0x9F:
            return 0x8F;
        case 0xA2:
            return 0xA1;
        case 0xB3:
            return 0xB2;
        case 0xB4:
            return 0xA5;
        case 0xB8:
            return 0xA8;
        case 0xBA:
            return 0xAA;
        case 0xBC:
            return 0xA3;
        case 0xBE:
            return 0xBD;
        case 0xBF:
            return 0xAF;
        default:
            return c;
    }
}

std::size_t CharCount(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The 1251 byte of one UTF-8 character, nullopt when 1251 has none for it.
std::optional<std::uint8_t> AnsiOf(std::string_view utf8Char) {
    const std::string ansi = Utf8ToAnsi(utf8Char);
    if (ansi.size() != 1 || (ansi == "?" && utf8Char != "?")) return std::nullopt;
    return static_cast<std::uint8_t>(ansi[0]);
}

// One field of the check: the float and, when none, whether the text is a number at all.
CheckFault CheckField(std::optional<float> value, bool isNumber, double low, double high, bool asFloat) {
    if (!value) return isNumber ? CheckFault::OutOfRange : CheckFault::NotANumber;  // too big for a float
    if (std::isnan(*value)) return CheckFault::NotANumber;  // "НД" is no typed value
    if (asFloat) {
        const float lowF = static_cast<float>(low);
        const float highF = static_cast<float>(high);
        return *value < lowF || *value > highF ? CheckFault::OutOfRange : CheckFault::None;
    }
    const double v = *value;
    return v < low || v > high ? CheckFault::OutOfRange : CheckFault::None;
}

}  // namespace

std::string DialogCText(float c, std::string_view sep) {
    // Every float beyond 2^24 is a whole number already; FormatFixed with 40 digits writes any of
    // them in full (the largest has 39), so no cast to a machine integer can overflow.
    return FormatFixed(std::trunc(double{c}), 40, 0, sep);
}

CableDialogTexts FillDialog(const CableRecord* record, std::string_view sep) {
    CableDialogTexts t;
    if (record == nullptr) return t;
    t.name = CableNameText(*record);
    t.r = CableRText(*record, sep);
    t.c = DialogCText(CableC(*record), sep);
    t.d = CableDText(*record, sep);
    t.material = (*record)[cab::Material] == 0 ? 0 : 1;
    return t;
}

std::string_view CheckResult::Message() const {
    switch (fault) {
        case CheckFault::NotANumber:
            return BadValueText;
        case CheckFault::OutOfRange:
            return OutOfRangeText;
        case CheckFault::None:
            break;
    }
    return {};
}

CheckResult CheckValues(std::string_view r, std::string_view c, std::string_view d, std::string_view sep) {
    const auto number = [&](std::string_view text) { return ParseCableValueWide(text, sep).has_value(); };
    if (auto f = CheckField(ParseCableValue(r, sep), number(r), 0.1, 999.9, false); f != CheckFault::None)
        return {CableField::R, f};
    if (auto f = CheckField(ParseCableValue(c, sep), number(c), 1, 999, true); f != CheckFault::None)
        return {CableField::C, f};
    // d is stored as hundredths in a byte: a plain decimal only, as the grid shows it.
    if (auto f = CheckField(ParseDecimalFloat(d, sep), ParseDecimal(d, sep).has_value(), 0.01, 2.55, false);
        f != CheckFault::None)
        return {CableField::D, f};
    return {};
}

bool StoreDialog(const CableDialogTexts& texts, std::string_view sep, CableRecord& slot) {
    const auto r = ParseCableValue(texts.r, sep);
    const auto c = ParseCableValue(texts.c, sep);
    const auto d = ParseCableDiameter(texts.d, sep);
    if (!r || !c || !d) return false;
    const NameField name = PadName(Utf8ToAnsi(texts.name));
    std::copy(name.begin(), name.end(), slot.begin() + cab::Name);
    slot[cab::Material] = texts.material == 0 ? 0 : 1;
    SetCableC(slot, *c);
    SetCableR(slot, *r);
    slot[cab::D] = *d;
    return true;
}

std::optional<std::string> FilterNameKey(std::string_view currentText, std::string_view typed) {
    if (typed == "\b") return std::string(typed);
    if (CharCount(currentText) + 1 > NameChars) return std::nullopt;
    const auto ansi = AnsiOf(typed);
    if (!ansi) return std::nullopt;
    return AnsiToUtf8(std::string(1, static_cast<char>(Upper1251(*ansi))));
}

std::string KeepCodePage1251(std::string_view text) {
    std::string kept;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = 1;
        while (i + len < text.size() && (static_cast<unsigned char>(text[i + len]) & 0xC0) == 0x80) ++len;
        const std::string_view one = text.substr(i, len);
        if (AnsiOf(one)) kept += one;
        i += len;
    }
    return kept;
}

}  // namespace zemrik
