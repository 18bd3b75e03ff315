#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zemrik {

// What a number that is not one (NaN, infinite) is shown as: no data.
inline constexpr std::string_view NoDataText = "НД";

// The one number format of the program: at most P significant digits and D decimals, a first
// dropped digit of 5 or more rounds the magnitude up, no "-0", no thousands separator, and the
// scientific form (1.2346E5) when the integer part needs more than P digits.
// Not-a-number and infinite values are written as "НД" (no data) so a damaged record never
// shows a misleading number. The rounding is decided on the exact decimal value of the double,
// so 0.125 with two decimals gives 0.13, and 1234.56f (1234.5600585... as a double) gives 1234.6.
// `decimalShift` shows value x 10^decimalShift, shifted on that exact expansion: 1450 kOhm as
// MOhm (shift -3) is 1.45 and rounds to 1.5, where 1450 * 0.001 in binary (1.4499...) would not.
std::string FormatFixed(double value, int precision, int digits, std::string_view decimalSeparator,
                        int decimalShift = 0);

// Strict parse of a number typed by the user: optional sign, digits, at most one decimal
// separator (exactly the given one), optional surrounding blanks. Anything else is not a number.
std::optional<double> ParseDecimal(std::string_view text, std::string_view decimalSeparator);
// The same syntax, read straight to the nearest single-precision value (no double rounding).
// nullopt also when the number is too large for a float.
std::optional<float> ParseDecimalFloat(std::string_view text, std::string_view decimalSeparator);

// The decimal separator of the user's locale (LC_NUMERIC), "." when the locale gives none.
std::string LocaleDecimalSeparator();

}  // namespace zemrik
