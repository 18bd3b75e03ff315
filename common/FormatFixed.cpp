#include "common/FormatFixed.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace zemrik {
namespace {

// A double's exact decimal expansion has at most 767 significant digits; with all of them at
// hand, the first dropped digit is the true one and never an artefact of binary rounding.
constexpr int ExactDigits = 767;

struct Decimal {
    std::string digits;  // significant digits, first one non-zero (empty for zero)
    int exponent = 0;    // the first digit stands for 10^exponent
};

// How many significant digits the exact expansion of a positive finite double can have, or a
// little more. m * 2^e with m odd is m * 5^-e / 10^-e for e < 0, an integer not divisible by ten;
// for e >= 0 an integer. Asking for no more than this keeps to_chars fast for the values a
// record holds (floats need about 20) while leaving nothing to round.
int SignificantDigitBound(double magnitude) {
    int e = 0;
    const double fraction = std::frexp(magnitude, &e);
    auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    e -= 53;
    while ((m & 1u) == 0) {
        m >>= 1;
        ++e;
    }
    const double digits =
        e >= 0 ? std::log10(magnitude) : std::log10(static_cast<double>(m)) - e * std::log10(5.0);
    return std::min(ExactDigits, static_cast<int>(digits) + 2);
}

Decimal ExactDecimal(double magnitude) {
    Decimal d;
    if (magnitude == 0) return d;
    char buf[ExactDigits + 16];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                                   SignificantDigitBound(magnitude) - 1);
    const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    // "d.ddde-x": the digits are the first one and those after the point.
    const auto e = text.find('e');
    d.digits.reserve(e);
    d.digits.assign(1, text[0]);
    if (e > 2) d.digits.append(text.substr(2, e - 2));
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), d.exponent);
    const auto last = d.digits.find_last_not_of('0');
    d.digits.erase(last + 1);
    return d;
}

// Strict syntax check; on success the number in the form from_chars reads ("-12.5").
std::optional<std::string> NormalizeDecimal(std::string_view text, std::string_view separator) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);

    std::string out;
    std::size_t i = 0;
    if (text[0] == '-' || text[0] == '+') {
        if (text[0] == '-') out += '-';
        i = 1;
    }
    bool anyDigit = false;
    bool seenSeparator = false;
    while (i < text.size()) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            out += c;
            anyDigit = true;
            ++i;
        } else if (!seenSeparator && !separator.empty() && text.substr(i).starts_with(separator)) {
            out += '.';
            seenSeparator = true;
            i += separator.size();
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit) return std::nullopt;
    return out;
}

template <typename T>
std::optional<T> ParseNormalized(std::string_view text, std::string_view separator) {
    const auto normal = NormalizeDecimal(text, separator);
    if (!normal) return std::nullopt;
    std::string_view s = *normal;
    // from_chars takes no '+' and no bare ".5"; the minus sign it does take.
    std::string buf;
    const bool negative = s.starts_with('-');
    if (negative) s.remove_prefix(1);
    if (s.starts_with('.')) buf = "0";
    buf += s;
    if (buf.ends_with('.')) buf.pop_back();
    T value{};
    const auto res = std::from_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::fixed);
    if (res.ec != std::errc{} || res.ptr != buf.data() + buf.size()) return std::nullopt;
    return negative ? -value : value;
}

}  // namespace

std::string FormatFixed(double value, int precision, int digits, std::string_view decimalSeparator,
                        int decimalShift) {
    if (!std::isfinite(value)) return std::string(NoDataText);
    precision = std::max(precision, 1);
    digits = std::max(digits, 0);

    Decimal exact = ExactDecimal(std::fabs(value));
    exact.exponent += decimalShift;
    // Keep the digits down to the 10^-digits place, and never more than `precision` of them.
    int keep = exact.digits.empty() ? 0 : std::min(precision, exact.exponent + 1 + digits);
    std::string mantissa;
    int exponent = exact.exponent;
    if (keep >= 0 && !exact.digits.empty()) {
        mantissa = exact.digits.substr(0, static_cast<std::size_t>(keep));
        mantissa.resize(static_cast<std::size_t>(keep), '0');
        const char dropped = static_cast<std::size_t>(keep) < exact.digits.size() ? exact.digits[keep] : '0';
        if (dropped >= '5') {
            int k = keep - 1;
            while (k >= 0 && mantissa[k] == '9') mantissa[k--] = '0';
            if (k >= 0) {
                ++mantissa[k];
            } else {
                // 99.96 -> 100.0: one more leading digit, the same last place.
                mantissa.insert(mantissa.begin(), '1');
                ++exponent;
                ++keep;
            }
        }
    }
    const bool isZero = mantissa.find_first_not_of('0') == std::string::npos;
    std::string out = value < 0 && !isZero ? "-" : "";

    if (!isZero && exponent + 1 > precision) {
        const auto last = mantissa.find_last_not_of('0');
        out += mantissa[0];
        if (last > 0) {
            out += decimalSeparator;
            out.append(mantissa, 1, last);
        }
        out += 'E';
        out += std::to_string(exponent);
        return out;
    }

    // Place the mantissa on a grid of (integer digits).(exactly `digits` decimals).
    std::string intPart = "0";
    std::string fracPart(static_cast<std::size_t>(digits), '0');
    if (!isZero) {
        const int lastPlace = exponent - keep + 1;  // the power of ten of the mantissa's last digit
        if (exponent >= 0) intPart.clear();
        for (int k = 0; k < keep; ++k) {
            const int place = exponent - k;
            if (place >= 0)
                intPart += mantissa[k];
            else
                fracPart[static_cast<std::size_t>(-place - 1)] = mantissa[k];
        }
        if (lastPlace > 0) intPart.append(static_cast<std::size_t>(lastPlace), '0');
    }
    out += intPart;
    if (digits > 0) {
        out += decimalSeparator;
        out += fracPart;
    }
    return out;
}

std::optional<double> ParseDecimal(std::string_view text, std::string_view decimalSeparator) {
    return ParseNormalized<double>(text, decimalSeparator);
}

std::optional<float> ParseDecimalFloat(std::string_view text, std::string_view decimalSeparator) {
    return ParseNormalized<float>(text, decimalSeparator);
}

std::string LocaleDecimalSeparator() {
    const std::lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || *conv->decimal_point == '\0') return ".";
    return conv->decimal_point;
}

}  // namespace zemrik
