// Cable table files: the record count follows the size, a file too big for the table is
// refused without touching it, every row's texts read back, and saving gives the same bytes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "cables/CableTable.h"
#include "cables/CableTableFile.h"

namespace {

// A value text (not in the scientific form) reads back to within its rounding: one decimal or
// five significant digits, whichever is coarser.
void CheckValueReadsBack(const std::string& text, float value, std::string_view sep) {
    if (!std::isfinite(value) || text.find('E') != std::string::npos) return;
    const auto parsed = zemrik::ParseCableValue(text, sep);
    ZEMRIK_CHECK(parsed.has_value());
    const double error = std::fabs(double{*parsed} - double{value});
    ZEMRIK_CHECK(error <= std::max(0.05, std::fabs(double{value}) * 5e-5) * 1.001 + 1e-6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zemrik;
    const std::string in = fuzz::Scratch().File("in.cbl");
    const std::string out = fuzz::Scratch().File("out.cbl");
    fuzz::WriteBytes(in, data, size);

    CableTable table;
    for (CableRecord& r : table.records) r.fill(0xEE);
    table.count = 7;
    const CableTable before = table;
    const bool ok = LoadTableFile(in, table);

    const std::size_t count = size / CableRecordSize;
    ZEMRIK_CHECK(ok == (count <= CableTable::Capacity));
    if (!ok) {
        ZEMRIK_CHECK(table.count == before.count && table.records == before.records);
        return 0;
    }
    ZEMRIK_CHECK(table.count == count);
    for (std::size_t i = 0; i < count; ++i) {
        const CableRecord& r = table.records[i];
        ZEMRIK_CHECK(std::equal(r.begin(), r.end(), data + CableRecordSize * i));
        for (std::string_view sep : {std::string_view("."), std::string_view(",")}) {
            const std::string name = CableNameText(r);
            const std::string rText = CableRText(r, sep);
            const std::string cText = CableCText(r, sep);
            const std::string dText = CableDText(r, sep);
            ZEMRIK_CHECK(fuzz::IsUtf8(name));
            for (const std::string* text : {&rText, &cText, &dText}) fuzz::CheckValueText(*text, sep);
            ZEMRIK_CHECK(MaterialText(r[cab::Material]) == (r[cab::Material] == 0 ? "Медь" : "Алюминий"));
            // Every diameter shown reads back to the same byte.
            ZEMRIK_CHECK(ParseCableDiameter(dText, sep) == r[cab::D]);
            CheckValueReadsBack(rText, CableR(r), sep);
            CheckValueReadsBack(cText, CableC(r), sep);
        }
    }

    ZEMRIK_CHECK(SaveTableFile(out, table));
    const std::vector<std::uint8_t> written = fuzz::ReadBytes(out);
    ZEMRIK_CHECK(written.size() == count * CableRecordSize);
    ZEMRIK_CHECK(std::equal(written.begin(), written.end(), data));
    return 0;
}
