#include "cables/CableTable.h"

#include "common/ByteAccess.h"
#include "common/CodePage.h"
#include "common/FormatFixed.h"
#include "common/NameField.h"

namespace zemrik {

float CableC(const CableRecord& r) { return CableFloat(r, cab::C); }
float CableR(const CableRecord& r) { return CableFloat(r, cab::R); }
void SetCableC(CableRecord& r, float value) { WriteFloatLE(r.data() + cab::C, value); }
void SetCableR(CableRecord& r, float value) { WriteFloatLE(r.data() + cab::R, value); }

std::string CableNameText(const CableRecord& r) { return AnsiToUtf8(TrimName(r.data() + cab::Name)); }

std::string CableRText(const CableRecord& r, std::string_view sep) {
    return FormatFixed(CableR(r), 5, 1, sep);
}

std::string CableCText(const CableRecord& r, std::string_view sep) {
    return FormatFixed(CableC(r), 5, 1, sep);
}

std::string CableDText(const CableRecord& r, std::string_view sep) { return DiameterText(r, sep); }

std::optional<float> ParseCableValue(std::string_view text, std::string_view sep) {
    return ParseDecimalFloat(text, sep);
}

std::optional<std::uint8_t> ParseCableDiameter(std::string_view text, std::string_view sep) {
    // Rounded on the decimal digits themselves, so 0,285 gives 29 and not the 28 that
    // 0.285 * 100 in binary floating point would round to.
    const auto value = ParseDecimal(text, sep);
    if (!value) return std::nullopt;
    const auto first = text.find_first_not_of(" \t+-");
    std::string_view digits = text.substr(first);
    const auto point = sep.empty() ? std::string_view::npos : digits.find(sep);
    std::string_view whole = digits.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : digits.substr(point + sep.size());
    fraction = fraction.substr(0, fraction.find_first_of(" \t"));
    whole = whole.substr(0, whole.find_first_of(" \t"));

    unsigned hundredths = 0;
    for (char c : whole) {
        hundredths = hundredths * 10 + static_cast<unsigned>(c - '0');
        if (hundredths > 2) return std::nullopt;  // 3 mm and more never fits the byte
    }
    hundredths *= 100;
    for (std::size_t k = 0; k < 2; ++k) {
        hundredths +=
            (k < fraction.size() ? static_cast<unsigned>(fraction[k] - '0') : 0u) * (k == 0 ? 10u : 1u);
    }
    if (fraction.size() > 2 && fraction[2] >= '5') ++hundredths;
    if (hundredths > 255) return std::nullopt;
    // A negative diameter is refused; "-0" and "-0,00" are zero and stand.
    if (*value < 0) return std::nullopt;
    return static_cast<std::uint8_t>(hundredths);
}

}  // namespace zemrik
