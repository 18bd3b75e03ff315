#include "common/FormatFixed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>

namespace zemrik {
namespace {

struct FormatCase {
    double value;
    int precision;
    int digits;
    const char* expected;  // with "." as separator; the "," variant is derived
};

TEST(FormatFixed, RoundsToDigitsAndSignificantDigitsElseScientific) {
    // clang-format off
    const FormatCase cases[] = {
        {1234.56, 5, 1, "1234.6"}, {2345.6, 5, 0, "2346"}, {0.4, 5, 2, "0.40"}, {0.0, 5, 1, "0.0"},
        {0.0, 5, 0, "0"}, {7.0, 5, 3, "7.000"}, {12.34, 5, 1, "12.3"},
        {12.35, 5, 1, "12.3"},         // the double is 12.34999...: the dropped digit is a 4
        {1234.56f, 5, 1, "1234.6"},    // the float widened is 1234.5600585...
        {0.125, 5, 2, "0.13"},         // exactly half: up, not to even
        {0.375, 5, 2, "0.38"}, {2.5, 5, 0, "3"}, {0.05, 5, 1, "0.1"}, {0.04, 5, 1, "0.0"},
        {0.0005, 5, 3, "0.001"}, {0.00049, 5, 3, "0.000"}, {1e-300, 5, 1, "0.0"}, {99.96, 5, 1, "100.0"},
        {9.9999, 5, 3, "10.000"},
        {1234.5678, 5, 3, "1234.600"},  // five significant digits win over three decimals
        {12345.6, 6, 1, "12345.6"}, {12345.6, 5, 1, "12346.0"}, {0.001234567, 5, 8, "0.00123460"},
        {-12.34, 5, 1, "-12.3"}, {-0.0, 5, 2, "0.00"},
        {-0.04, 5, 1, "0.0"},  // rounds to zero: no minus sign
        {-0.05, 5, 1, "-0.1"}, {-2345.6, 5, 0, "-2346"}, {99999.4, 5, 1, "99999.0"},
        // Scientific when the integer part needs more than P digits, also after rounding up.
        {123456, 5, 1, "1.2346E5"}, {100000, 5, 1, "1E5"}, {99999.5, 5, 1, "1E5"}, {99999.96, 5, 1, "1E5"},
        {120000, 5, 0, "1.2E5"}, {-123456, 5, 1, "-1.2346E5"}, {1.5e20, 5, 1, "1.5E20"},
        {123456789, 6, 1, "1.23457E8"}, {1234567, 6, 1, "1.23457E6"}, {99999, 5, 1, "99999.0"},
        {3.0e38, 5, 1, "3E38"}, {10, 1, 0, "1E1"}, {9.6, 1, 0, "1E1"}, {9.4, 1, 2, "9.00"},
        // The far ends of a double: every digit of their long expansions is exact.
        {1.7976931348623157e308, 5, 1, "1.7977E308"}, {4.9406564584124654e-324, 5, 1, "0.0"},
        {0.1, 17, 20, "0.10000000000000001000"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " P" << c.precision << " D" << c.digits);
        std::string comma = c.expected;
        std::replace(comma.begin(), comma.end(), '.', ',');
        EXPECT_EQ(FormatFixed(c.value, c.precision, c.digits, "."), c.expected);
        EXPECT_EQ(FormatFixed(c.value, c.precision, c.digits, ","), comma);
    }
}

TEST(FormatFixed, DigitsFarDownTheExpansionAreExact) {
    EXPECT_EQ(FormatFixed(2.2250738585072014e-308, 3, 400, "."),
              "0." + std::string(307, '0') + "223" + std::string(90, '0'));  // 2.22507...e-308
    EXPECT_EQ(FormatFixed(4.9406564584124654e-324, 3, 330, "."),
              "0." + std::string(323, '0') + "494" + std::string(4, '0'));  // 4.94065...e-324
}

TEST(FormatFixed, SeparatorIsTakenAsGivenAndNonNumbersShowNoData) {
    EXPECT_EQ(FormatFixed(1.25, 5, 2, "·"), "1·25");
    EXPECT_EQ(FormatFixed(3.5, 5, 0, ","), "4");  // no separator without decimals
    // A decimal shift moves the exact digits: 1450 as thousands is 1.45, a half that rounds up.
    EXPECT_EQ(FormatFixed(1450, 5, 1, ".", -3), "1.5");
    EXPECT_EQ(FormatFixed(0.05, 5, 1, ".", 2), "5.0");
    EXPECT_EQ(FormatFixed(123456, 5, 1, ".", -6), "0.1");
    EXPECT_EQ(FormatFixed(std::nan(""), 5, 1, "."), "НД");
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 5, 1, "."), "НД");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::infinity(), 5, 1, "."), "НД");
}

TEST(ParseDecimal, AcceptsOnlyTheGivenSeparator) {
    struct Case {
        const char* text;
        const char* sep;
        std::optional<double> expected;
    };
    const std::optional<double> none;
    // clang-format off
    const Case cases[] = {
        {"12,5", ",", 12.5}, {"12.5", ".", 12.5}, {"12.5", ",", none}, {"12,5", ".", none}, {"0", ",", 0.0},
        {"  -0,53 ", ",", -0.53}, {"+7", ",", 7.0}, {",5", ",", 0.5}, {"5,", ",", 5.0}, {"", ",", none},
        {"   ", ",", none}, {",", ",", none}, {"-", ",", none}, {"1,2,3", ",", none}, {"1 000", ",", none},
        {"1e5", ",", none}, {"0x10", ",", none}, {"nan", ",", none}, {"inf", ",", none}, {"--1", ",", none},
        {"1-", ",", none}, {"12a", ",", none}, {"1Â·5", "Â·", 1.5}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseDecimal(c.text, c.sep), c.expected);
    }
}

TEST(ParseDecimal, FloatVariantRoundsOnceToTheNearestFloat) {
    // 1.00000005960464477539062500000001 lies just above the midpoint between 1 and the next
    // float; going through double first would land on the midpoint and round down to 1.
    const auto f = ParseDecimalFloat("1.00000005960464477539062500000001", ".");
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(*f, std::nextafter(1.0f, 2.0f));
    EXPECT_EQ(ParseDecimalFloat("12,34", ","), 12.34f);
    EXPECT_EQ(ParseDecimalFloat("1" + std::string(50, '0'), ","), std::nullopt);  // beyond a float
    EXPECT_EQ(ParseDecimalFloat("abc", ","), std::nullopt);
}

TEST(LocaleDecimalSeparator, FollowsLcNumeric) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(LocaleDecimalSeparator(), ".");
    const bool haveRussian = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
    const std::string russian = LocaleDecimalSeparator();
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!haveRussian) GTEST_SKIP() << "ru_RU.UTF-8 not installed";
    EXPECT_EQ(russian, ",");
}

}  // namespace
}  // namespace zemrik
