// Measurement files: any bytes either parse as exactly the list they hold or are refused without
// touching anything, and building the list again gives the same bytes. What each record shows is
// the display target's part.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/FuzzSupport.h"
#include "measurement/MeasurementFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zemrik;
    const std::span<const std::uint8_t> bytes(data, size);
    static MeasurementList list;  // 51 KB: kept between runs, marked afresh each time
    list.slots[0].fill(0xEE);
    list.count = 1;
    FileHeader header;
    header.fill(0xDD);
    const bool ok = ParseMeasurementFile(bytes, list, header);

    const std::size_t count = size > 0 ? data[0] : 0;
    const std::size_t needed = FileHeaderSize + RecordSize * count;
    ZEMRIK_CHECK(ok == (size >= FileHeaderSize && count <= MeasurementList::Capacity && size >= needed));
    if (!ok) {
        ZEMRIK_CHECK(list.count == 1 && header[0] == 0xDD && list.slots[0][0] == 0xEE);
        return 0;
    }
    ZEMRIK_CHECK(list.count == count);
    ZEMRIK_CHECK(count > 0 || list.slots[0][0] == 0xEE);  // slots past the count keep their bytes
    ZEMRIK_CHECK(std::equal(header.begin(), header.end(), data));
    for (std::size_t i = 0; i < count; ++i)
        ZEMRIK_CHECK(
            std::equal(list.slots[i].begin(), list.slots[i].end(), data + FileHeaderSize + RecordSize * i));

    const std::vector<std::uint8_t> built = BuildMeasurementFile(list, header);
    ZEMRIK_CHECK(built.size() == needed);
    ZEMRIK_CHECK(std::equal(built.begin(), built.end(), data));
    return 0;
}
