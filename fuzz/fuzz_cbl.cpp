// Cable table files: the record count follows the size, a file too big for the table is
// refused without touching it, and building the table again gives the same bytes. What each row
// shows is the cable_row target's part.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cables/CableTableFile.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zemrik;
    static CableTable table;
    static CableTable before;
    for (CableRecord& r : table.records) r.fill(0xEE);
    table.count = 7;
    before = table;
    const bool ok = ParseTableFile(std::span<const std::uint8_t>(data, size), table);

    const std::size_t count = size / CableRecordSize;
    ZEMRIK_CHECK(ok == (count <= CableTable::Capacity));
    if (!ok) {
        ZEMRIK_CHECK(table.count == before.count && table.records == before.records);
        return 0;
    }
    ZEMRIK_CHECK(table.count == count);
    const std::vector<std::uint8_t> built = BuildTableFile(table);
    ZEMRIK_CHECK(built.size() == count * CableRecordSize);
    ZEMRIK_CHECK(std::equal(built.begin(), built.end(), data));
    // Slots past the count keep what they held.
    ZEMRIK_CHECK(std::equal(table.records.begin() + static_cast<std::ptrdiff_t>(count), table.records.end(),
                            before.records.begin() + static_cast<std::ptrdiff_t>(count)));
    return 0;
}
