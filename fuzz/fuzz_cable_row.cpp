// The texts of one cable table row for any 32 bytes (the input, padded with zeros): well-formed
// UTF-8 in the separator given, and every diameter and value shown reads back.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "cables/CableTable.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Every value text reads back, the scientific form included: to within its rounding (one decimal
// or five significant digits, whichever is coarser), and to a value shown with the same text;
// "НД" (no number stored) reads back as no number.
void CheckValueReadsBack(const std::string& text, float value, std::string_view sep) {
    const auto parsed = zemrik::ParseCableValue(text, sep);
    ZEMRIK_CHECK(parsed.has_value());
    if (!std::isfinite(value)) {
        ZEMRIK_CHECK(std::isnan(*parsed));
        return;
    }
    const double error = std::fabs(double{*parsed} - double{value});
    ZEMRIK_CHECK(error <= std::max(0.05, std::fabs(double{value}) * 5e-5) * 1.001 + 1e-6);
    zemrik::CableRecord again{};
    zemrik::SetCableR(again, *parsed);
    ZEMRIK_CHECK(zemrik::CableRText(again, sep) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zemrik;
    CableRecord r{};
    std::copy_n(data, std::min(size, r.size()), r.begin());
    ZEMRIK_CHECK(fuzz::IsUtf8(CableNameText(r)));
    for (std::string_view sep : {std::string_view("."), std::string_view(",")}) {
        const std::string rText = CableRText(r, sep);
        const std::string cText = CableCText(r, sep);
        const std::string dText = CableDText(r, sep);
        for (const std::string* text : {&rText, &cText, &dText}) fuzz::CheckValueText(*text, sep);
        ZEMRIK_CHECK(ParseCableDiameter(dText, sep) == r[cab::D]);
        CheckValueReadsBack(rText, CableR(r), sep);
        CheckValueReadsBack(cText, CableC(r), sep);
    }
    return 0;
}
