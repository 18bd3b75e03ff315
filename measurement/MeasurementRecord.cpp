#include "measurement/MeasurementRecord.h"

#include <algorithm>

#include "common/ByteAccess.h"
#include "common/NameField.h"

namespace zemrik {

int SectionCount(const MeasurementRecord& r) { return std::min(StoredSectionCount(r), rec::MaxSections); }

std::string_view KindListText(int kind) {
    static constexpr std::string_view texts[KindCount] = {"Rs", "dR", "Cx", "Lx", "Ri", "Cl", "CR"};
    return IsValidKind(kind) ? texts[kind] : std::string_view{};
}

std::string_view KindPanelText(int kind) {
    static constexpr std::string_view texts[KindCount] = {"Rs", "dR", "Cx", "Lx", "Ri", "Cx/Cl", "Ri, Cx"};
    return IsValidKind(kind) ? texts[kind] : std::string_view{};
}

float RecordFloat(const MeasurementRecord& r, std::size_t offset) {
    return offset + 4 <= RecordSize ? ReadFloatLE(r.data() + offset) : 0.0f;
}

void SetRecordFloat(MeasurementRecord& r, std::size_t offset, float value) {
    if (offset + 4 <= RecordSize) WriteFloatLE(r.data() + offset, value);
}

std::string RecordName(const MeasurementRecord& r) { return NameText(r.data() + rec::Name); }

std::string SectionName(const MeasurementRecord& r, int i) {
    if (i < 0 || i >= rec::MaxSections) return {};
    return NameText(r.data() + SectionOffset(i) + rec::SecName);
}

std::string ListLine(const MeasurementRecord& r) {
    std::string line = RecordName(r);
    line += "        ";
    line += KindListText(RecordKind(r));
    return line;
}

void RenameRecord(MeasurementRecord& r, std::string_view newName) {
    const NameField field = PadName(newName);
    std::copy(field.begin(), field.end(), r.begin() + rec::Name);
}

void ConvertRecordNames(MeasurementRecord& r, CodePageDirection direction) {
    for (int i = 0; i < SectionCount(r); ++i)
        ConvertCodePage(r.data() + SectionOffset(i), NameLength, direction);
    ConvertCodePage(r.data() + rec::Name, NameLength, direction);
}

void MeasurementList::Remove(int i) {
    // A count above the capacity can only be damage; never walk past the slots.
    const int used = std::min<int>(count, Capacity);
    if (i < 0 || i >= used) return;
    std::copy(slots.begin() + i + 1, slots.begin() + used, slots.begin() + i);
    count = static_cast<std::uint8_t>(used - 1);
}

}  // namespace zemrik
