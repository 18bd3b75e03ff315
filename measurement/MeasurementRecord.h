#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cables/CableFields.h"
#include "common/CodePage.h"

// One stored measurement: 256 raw bytes exactly as the instrument keeps them. Only the fields
// below are interpreted; every other byte travels unchanged.
namespace zemrik {

inline constexpr std::size_t RecordSize = 256;
using MeasurementRecord = std::array<std::uint8_t, RecordSize>;

namespace rec {
inline constexpr std::size_t Name = 0;
inline constexpr std::size_t KindSections = 14;
inline constexpr std::size_t Rs = 15;
inline constexpr std::size_t dR = 19;
inline constexpr std::size_t Cxab = 23;
inline constexpr std::size_t Cxbc = 27;
inline constexpr std::size_t Cxac = 31;
inline constexpr std::size_t Lx = 35;
inline constexpr std::size_t Riab = 39;
inline constexpr std::size_t Ribc = 43;
inline constexpr std::size_t Riac = 47;
inline constexpr std::size_t K = 51;
inline constexpr std::size_t LxCl = 55;
inline constexpr std::size_t TempCode = 59;
inline constexpr std::size_t Sections = 79;
inline constexpr std::size_t SectionSize = 32;
inline constexpr int MaxSections = 5;  // 79 + 5 * 32 = 239; a sixth would run past the record
// Offsets inside a section: the cable layout, with the length.
inline constexpr std::size_t SecName = cab::Name;
inline constexpr std::size_t SecMaterial = cab::Material;
inline constexpr std::size_t SecC = cab::C;
inline constexpr std::size_t SecR = cab::R;
inline constexpr std::size_t SecLength = cab::Length;
inline constexpr std::size_t SecD = cab::D;
static_assert(SectionSize == CableRecordSize);
}  // namespace rec

enum MeasKind : int { KindRs = 0, KindDR = 1, KindCx = 2, KindLx = 3, KindRi = 4, KindCl = 5, KindCR = 6 };
inline constexpr int KindCount = 7;

inline int RecordKind(const MeasurementRecord& r) { return r[rec::KindSections] & 0x0F; }
inline bool IsValidKind(int kind) { return kind >= 0 && kind < KindCount; }
// The section count as stored (0 to 15).
inline int StoredSectionCount(const MeasurementRecord& r) { return r[rec::KindSections] >> 4; }
// The sections a record can really hold: a damaged count above 5 is cut to 5.
int SectionCount(const MeasurementRecord& r);

// "Rs" ... "CR" for kinds 0 to 6; empty for codes 7 to 15.
std::string_view KindListText(int kind);
// "Rs" ... "Ri, Cx" for kinds 0 to 6; empty for codes 7 to 15.
std::string_view KindPanelText(int kind);

float RecordFloat(const MeasurementRecord& r, std::size_t offset);
void SetRecordFloat(MeasurementRecord& r, std::size_t offset, float value);

// Offset of section i (0 to 4) inside the record.
inline std::size_t SectionOffset(int i) {
    return rec::Sections + rec::SectionSize * static_cast<std::size_t>(i);
}

// Name text (1251): bytes 0..13 up to the first NUL, trailing spaces kept.
std::string RecordName(const MeasurementRecord& r);
// Section i's name text (1251): its 14 bytes up to the first NUL.
std::string SectionName(const MeasurementRecord& r, int i);

// The list line of a record (1251): its name as stored, 8 spaces, the kind's list text.
std::string ListLine(const MeasurementRecord& r);

// Renaming: the first 14 bytes of newName (1251), padded with spaces, over bytes 0..13.
void RenameRecord(MeasurementRecord& r, std::string_view newName);

// Converts the names of the record's sections (in section order, at most five) and then its
// name, 14 bytes each, between code pages 866 and 1251.
void ConvertRecordNames(MeasurementRecord& r, CodePageDirection direction);

// The measurement list: 200 slots and a one-byte count.
struct MeasurementList {
    static constexpr int Capacity = 200;
    std::array<MeasurementRecord, Capacity> slots{};
    std::uint8_t count = 0;

    // Removes record i: later records move down one slot; the last slot keeps its old bytes.
    // Does nothing when the list is empty or i is not a valid index.
    void Remove(int i);
};

}  // namespace zemrik
