#include "measurement/MeasurementFile.h"

#include <algorithm>

namespace zemrik {

bool ParseMeasurementFile(std::span<const std::uint8_t> bytes, MeasurementList& list, FileHeader& header) {
    if (bytes.size() < FileHeaderSize) return false;
    const std::size_t count = bytes[0];
    // The list has 200 slots; a file that claims more is damaged and is refused whole.
    if (count > MeasurementList::Capacity) return false;
    if (bytes.size() < FileHeaderSize + RecordSize * count) return false;

    std::copy_n(bytes.begin(), FileHeaderSize, header.begin());
    for (std::size_t i = 0; i < count; ++i)
        std::copy_n(bytes.subspan(FileHeaderSize + RecordSize * i).begin(), RecordSize,
                    list.slots[i].begin());
    list.count = static_cast<std::uint8_t>(count);
    return true;
}

std::vector<std::uint8_t> BuildMeasurementFile(const MeasurementList& list, FileHeader& header) {
    if (list.count > MeasurementList::Capacity) return {};
    header[0] = list.count;
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(FileHeaderSize + RecordSize * list.count);
    for (std::size_t i = 0; i < list.count; ++i)
        bytes.insert(bytes.end(), list.slots[i].begin(), list.slots[i].end());
    return bytes;
}

bool ReadMeasurementFile(const std::string& path, MeasurementList& list, FileHeader& header) {
    const auto bytes = ReadFileBytes(path, LargestMeasurementFile);
    return bytes && ParseMeasurementFile(*bytes, list, header);
}

bool WriteMeasurementFile(const std::string& path, const MeasurementList& list, FileHeader& header) {
    if (list.count > MeasurementList::Capacity) return false;
    const std::vector<std::uint8_t> bytes = BuildMeasurementFile(list, header);
    const std::span<const std::uint8_t> parts[] = {bytes};
    return WriteFileAtomically(path, parts);
}

}  // namespace zemrik
