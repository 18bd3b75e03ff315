#include "cables/CableTable.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

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

namespace {

// The scientific form FormatFixed writes ("1,2346E5", "-1E-3"): a decimal mantissa with the given
// separator, E or e, an optionally signed exponent. nullopt for anything else, or when the
// number does not fit T.
template <typename T>
std::optional<T> ParseScientific(std::string_view text, std::string_view sep) {
    const auto e = text.find_first_of("Ee");
    std::string_view mantissa = text.substr(0, e);
    std::string_view exponent = text.substr(e + 1);
    if (mantissa.empty() || mantissa.back() == ' ' || mantissa.back() == '\t') return std::nullopt;
    if (!ParseDecimal(mantissa, sep)) return std::nullopt;
    const bool negativeExponent = exponent.starts_with('-');
    if (negativeExponent || exponent.starts_with('+')) exponent.remove_prefix(1);
    if (exponent.empty() || exponent.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;

    // ParseDecimal has checked the mantissa's syntax; rewrite it the way from_chars reads it.
    mantissa = mantissa.substr(mantissa.find_first_not_of(" \t"));
    std::string normal;
    if (mantissa[0] == '-' || mantissa[0] == '+') {
        if (mantissa[0] == '-') normal += '-';
        mantissa.remove_prefix(1);
    }
    if (!sep.empty() && mantissa.starts_with(sep)) normal += '0';
    const auto point = sep.empty() ? std::string_view::npos : mantissa.find(sep);
    normal += mantissa.substr(0, point);
    if (point != std::string_view::npos) {
        normal += '.';
        normal += mantissa.substr(point + sep.size());
    }
    normal += negativeExponent ? "e-" : "e";
    normal += exponent;
    T value{};
    const auto res =
        std::from_chars(normal.data(), normal.data() + normal.size(), value, std::chars_format::scientific);
    if (res.ec != std::errc{} || res.ptr != normal.data() + normal.size()) return std::nullopt;
    return value;
}

template <typename T>
std::optional<T> ParseValueText(std::string_view text, std::string_view sep) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text == NoDataText) return std::numeric_limits<T>::quiet_NaN();
    if (text.find_first_of("Ee") != std::string_view::npos) return ParseScientific<T>(text, sep);
    if constexpr (std::is_same_v<T, float>)
        return ParseDecimalFloat(text, sep);
    else
        return ParseDecimal(text, sep);
}

}  // namespace

std::optional<float> ParseCableValue(std::string_view text, std::string_view sep) {
    return ParseValueText<float>(text, sep);
}

std::optional<double> ParseCableValueWide(std::string_view text, std::string_view sep) {
    return ParseValueText<double>(text, sep);
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
