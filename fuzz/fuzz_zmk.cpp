// Measurement files: any bytes either read as exactly the list they hold or are refused, every
// record read shows without fault, and writing the list back gives the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "FuzzSupport.h"
#include "measurement/MeasurementFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zemrik;
    const std::string in = fuzz::Scratch().File("in.zmk");
    const std::string out = fuzz::Scratch().File("out.zmk");
    fuzz::WriteBytes(in, data, size);

    auto list = std::make_unique<MeasurementList>();
    list->slots[0].fill(0xEE);
    list->count = 1;
    FileHeader header;
    header.fill(0xDD);
    const bool ok = ReadMeasurementFile(in, *list, header);

    const std::size_t count = size > 0 ? data[0] : 0;
    const std::size_t needed = FileHeaderSize + RecordSize * count;
    ZEMRIK_CHECK(ok == (size >= FileHeaderSize && count <= MeasurementList::Capacity && size >= needed));
    if (!ok) {
        // A refused file changes nothing.
        ZEMRIK_CHECK(list->count == 1 && header[0] == 0xDD && list->slots[0][0] == 0xEE);
        return 0;
    }
    ZEMRIK_CHECK(list->count == count);
    ZEMRIK_CHECK(std::equal(header.begin(), header.end(), data));
    for (std::size_t i = 0; i < count; ++i) {
        ZEMRIK_CHECK(
            std::equal(list->slots[i].begin(), list->slots[i].end(), data + FileHeaderSize + RecordSize * i));
        fuzz::CheckMeasurementTexts(list->slots[i]);
    }

    ZEMRIK_CHECK(WriteMeasurementFile(out, *list, header));
    const std::vector<std::uint8_t> written = fuzz::ReadBytes(out);
    ZEMRIK_CHECK(written.size() == needed);
    ZEMRIK_CHECK(written[0] == count);
    ZEMRIK_CHECK(std::equal(written.begin() + 1, written.end(), data + 1));
    return 0;
}
