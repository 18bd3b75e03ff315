#pragma once

// Shared by the fuzz targets: the invariants every display text must keep. A broken invariant
// traps, which libFuzzer reports as a crash with the input that caused it.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "measurement/MeasurementDisplay.h"
#include "measurement/MeasurementRecord.h"

// Traps with the broken condition on stderr, so a crash report says what went wrong.
#define ZEMRIK_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::zemrik::fuzz::Fail(#condition, __FILE__, __LINE__))

namespace zemrik::fuzz {

[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    __builtin_trap();
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no surrogates, at most
// U+10FFFF.
inline bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80           ? 1
                             : (c >> 5) == 0x6  ? 2
                             : (c >> 4) == 0xE  ? 3
                             : (c >> 3) == 0x1E ? 4
                                                : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t cp = length == 1   ? c
                           : length == 2 ? (c & 0x1Fu)
                           : length == 3 ? (c & 0x0Fu)
                                         : (c & 0x07u);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// A number text written with one separator never holds the other one.
inline void CheckValueText(std::string_view text, std::string_view sep) {
    ZEMRIK_CHECK(IsUtf8(text));
    ZEMRIK_CHECK(text.find(sep == "." ? ',' : '.') == std::string_view::npos);
}

inline void CheckSectionTexts(const SectionTexts& s, std::uint8_t material, std::string_view sep) {
    for (const std::string* text : {&s.CLbl, &s.RLbl, &s.dLbl, &s.MaterialLbl, &s.LLbl})
        CheckValueText(*text, sep);
    // A value that is not a number shows "НД" alone, every other one its unit.
    auto withUnit = [](const std::string& text, std::string_view unit) {
        return text == "НД" || text.ends_with(unit);
    };
    ZEMRIK_CHECK(withUnit(s.CLbl, " нФ/км"));
    ZEMRIK_CHECK(withUnit(s.RLbl, " Ом/км"));
    ZEMRIK_CHECK(s.dLbl.ends_with(" мм"));
    ZEMRIK_CHECK(withUnit(s.LLbl, " м"));
    ZEMRIK_CHECK(s.MaterialLbl == (material == 0 ? "Медь" : "Алюминий"));
}

// Everything the detail panel shows for one record, with both separators.
inline void CheckMeasurementTexts(const MeasurementRecord& r) {
    const int kind = RecordKind(r);
    const std::string line = ListLine(r);
    ZEMRIK_CHECK(line == RecordName(r) + std::string(8, ' ') + std::string(KindListText(kind)));
    ZEMRIK_CHECK(IsUtf8(AnsiToUtf8(line)));

    for (std::string_view sep : {std::string_view("."), std::string_view(",")}) {
        const MeasurementTexts t = ShowMeasurement(r, sep);
        const std::string* rows[] = {&t.RsLbl,   &t.dRLbl,   &t.CxabLbl, &t.CxbcLbl, &t.CxacLbl, &t.KLbl,
                                     &t.RiabLbl, &t.RibcLbl, &t.RiacLbl, &t.LxLbl,   &t.TLbl};
        // A kind-5 record whose distance is not a number shows two fixed texts, written with a
        // point whatever the separator.
        const bool heldRatioTexts = kind == KindCl && std::isnan(RecordFloat(r, rec::LxCl));
        if (heldRatioTexts) ZEMRIK_CHECK(t.KLbl == "1.000" && t.LxLbl == "0.0 м");
        for (const std::string* text : rows) {
            if (heldRatioTexts && (text == &t.KLbl || text == &t.LxLbl)) continue;
            CheckValueText(*text, sep);
        }
        ZEMRIK_CHECK(IsUtf8(t.TypeLbl));

        // Which of the rows Rs .. Lx (in the order of `rows`) each kind fills.
        static const unsigned filled[KindCount] = {0b0000000001, 0b0000000010, 0b0000000100, 0b1000000001,
                                                   0b0010000000, 0b1000100000, 0b0111011100};
        const unsigned mask = IsValidKind(kind) ? filled[kind] : 0;
        ZEMRIK_CHECK(t.TypeLbl == (IsValidKind(kind) ? KindPanelText(kind) : std::string_view()));
        for (int row = 0; row < 10; ++row) ZEMRIK_CHECK(rows[row]->empty() == ((mask >> row & 1u) == 0));
        ZEMRIK_CHECK(t.TLbl == std::to_string(int{r[rec::TempCode]} - 20) + "°С");

        const int sections = SectionCount(r);
        ZEMRIK_CHECK(sections == std::min(StoredSectionCount(r), rec::MaxSections));
        ZEMRIK_CHECK(static_cast<int>(t.items.size()) == sections);
        ZEMRIK_CHECK(t.selectedItem == (sections > 0 ? 0 : -1));
        for (int i = 0; i < sections; ++i)
            ZEMRIK_CHECK(t.items[static_cast<std::size_t>(i)] == AnsiToUtf8(SectionName(r, i)));
        CheckSectionTexts(t.section, r[SectionOffset(0) + rec::SecMaterial], sep);

        for (int s = -1; s <= 16; ++s) {
            const SectionTexts picked = SectionItemTexts(r, s, sep);
            for (const std::string* text :
                 {&picked.CLbl, &picked.RLbl, &picked.dLbl, &picked.MaterialLbl, &picked.LLbl})
                ZEMRIK_CHECK(IsUtf8(*text));
            if (s < 0 || s >= sections) continue;
            CheckSectionTexts(picked, r[SectionOffset(s) + rec::SecMaterial], sep);
            if (s == 0) {
                // Picking the first section changes only the length's precision.
                ZEMRIK_CHECK(picked.CLbl == t.section.CLbl && picked.RLbl == t.section.RLbl &&
                             picked.dLbl == t.section.dLbl);
            }
        }
    }
}

}  // namespace zemrik::fuzz
