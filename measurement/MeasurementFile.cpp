#include "measurement/MeasurementFile.h"

#include <algorithm>

namespace zemrik {

namespace {
// The slots lie back to back as in the file; read as bytes, they move with one copy.
static_assert(sizeof(MeasurementList::slots) == RecordSize * MeasurementList::Capacity);
std::uint8_t* SlotBytes(MeasurementList& list) { return reinterpret_cast<std::uint8_t*>(list.slots.data()); }
const std::uint8_t* SlotBytes(const MeasurementList& list) {
    return reinterpret_cast<const std::uint8_t*>(list.slots.data());
}
}  // namespace

bool ParseMeasurementFile(std::span<const std::uint8_t> bytes, MeasurementList& list, FileHeader& header) {
    if (bytes.size() < FileHeaderSize) return false;
    const std::size_t count = bytes[0];
    // The list has 200 slots; a file that claims more is damaged and is refused whole.
    if (count > MeasurementList::Capacity) return false;
    if (bytes.size() < FileHeaderSize + RecordSize * count) return false;

    std::copy_n(bytes.data(), FileHeaderSize, header.data());
    std::copy_n(bytes.data() + FileHeaderSize, RecordSize * count, SlotBytes(list));
    list.count = static_cast<std::uint8_t>(count);
    return true;
}

std::vector<std::uint8_t> BuildMeasurementFile(const MeasurementList& list, FileHeader& header) {
    if (list.count > MeasurementList::Capacity) return {};
    header[0] = list.count;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(FileHeaderSize + RecordSize * list.count);
    bytes.assign(header.begin(), header.end());
    bytes.insert(bytes.end(), SlotBytes(list), SlotBytes(list) + RecordSize * list.count);
    return bytes;
}

bool ReadMeasurementFile(const std::string& path, MeasurementList& list, FileHeader& header) {
    const auto bytes = ReadFileBytes(path, LargestMeasurementFile);
    return bytes && ParseMeasurementFile(*bytes, list, header);
}

bool WriteMeasurementFile(const std::string& path, const MeasurementList& list, FileHeader& header) {
    if (list.count > MeasurementList::Capacity) return false;
    const std::vector<std::uint8_t> bytes = BuildMeasurementFile(list, header);
    return WriteFileAtomically(path, bytes);
}

}  // namespace zemrik
