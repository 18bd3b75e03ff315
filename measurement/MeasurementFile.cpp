#include "measurement/MeasurementFile.h"

#include <algorithm>
#include <span>
#include <vector>

#include "common/FileIO.h"
#include "common/NameField.h"

namespace zemrik {

bool ReadMeasurementFile(const std::string& path, MeasurementList& list, FileHeader& header) {
    constexpr std::size_t largest = FileHeaderSize + RecordSize * MeasurementList::Capacity;
    const auto bytes = ReadFileBytes(path, largest);
    if (!bytes || bytes->size() < FileHeaderSize) return false;
    const std::size_t count = (*bytes)[0];
    // The list has 200 slots; a file that claims more is damaged and is refused whole.
    if (count > MeasurementList::Capacity) return false;
    if (bytes->size() < FileHeaderSize + RecordSize * count) return false;

    std::copy_n(bytes->begin(), FileHeaderSize, header.begin());
    for (std::size_t i = 0; i < count; ++i) {
        const auto from = bytes->begin() + static_cast<std::ptrdiff_t>(FileHeaderSize + RecordSize * i);
        std::copy_n(from, RecordSize, list.slots[i].begin());
    }
    // Slots past the count keep their old bytes; they are not part of the list.
    list.count = static_cast<std::uint8_t>(count);
    return true;
}

bool WriteMeasurementFile(const std::string& path, const MeasurementList& list, FileHeader& header) {
    if (list.count > MeasurementList::Capacity) return false;
    header[0] = list.count;
    std::vector<std::span<const std::uint8_t>> parts;
    parts.reserve(1 + std::size_t{list.count});
    parts.emplace_back(header);
    for (std::size_t i = 0; i < list.count; ++i) parts.emplace_back(list.slots[i]);
    return WriteFileAtomically(path, parts);
}

std::string ReadErrorText(const std::string& path) {
    return "Не могу открыть файл " + FileNamePart(path) + " !";
}

std::string WriteErrorText(const std::string& path) {
    return "Не могу записать файл " + FileNamePart(path) + " !";
}

}  // namespace zemrik
