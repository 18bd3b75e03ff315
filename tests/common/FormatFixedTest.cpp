#include "common/FormatFixed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <limits>

namespace zemrik {
namespace {

TEST(FormatFixed, RoundsTheExactValueHalfUpElseScientific) {
    struct Case {
        double value;
        int precision, digits;
        const char* expected;  // with "."; the "," variant is derived
        int shift = 0;
    };
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const Case cases[] = {
        {1234.56, 5, 1, "1234.6"}, {2345.6, 5, 0, "2346"}, {0.4, 5, 2, "0.40"}, {0.0, 5, 1, "0.0"},
        {12.35, 5, 1, "12.3"},        // the double is 12.34999...
        {1234.56f, 5, 1, "1234.6"},   // the float widened is 1234.5600585...
        {0.125, 5, 2, "0.13"}, {2.5, 5, 0, "3"}, {0.05, 5, 1, "0.1"}, {0.00049, 5, 3, "0.000"},
        {0.0005, 5, 3, "0.001"}, {1e-300, 5, 1, "0.0"}, {99.96, 5, 1, "100.0"}, {99999.4, 5, 1, "99999.0"},
        {1234.5678, 5, 3, "1234.600"}, {12345.6, 5, 1, "12346.0"}, {0.001234567, 5, 8, "0.00123460"},
        {-0.0, 5, 2, "0.00"}, {-0.04, 5, 1, "0.0"}, {-0.05, 5, 1, "-0.1"},
        {123456, 5, 1, "1.2346E5"}, {100000, 5, 1, "1E5"}, {99999.5, 5, 1, "1E5"}, {120000, 5, 0, "1.2E5"},
        {-123456, 5, 1, "-1.2346E5"}, {10, 1, 0, "1E1"}, {9.6, 1, 0, "1E1"}, {9.4, 1, 2, "9.00"},
        {1.7976931348623157e308, 5, 1, "1.7977E308"}, {4.9406564584124654e-324, 5, 1, "0.0"},
        {0.1, 17, 20, "0.10000000000000001000"},
        // The shift moves the exact digits: 1450 as thousands is 1.45, a half that rounds up.
        {1450, 5, 1, "1.5", -3}, {0.05, 5, 1, "5.0", 2}, {123456, 5, 1, "0.1", -6},
        {std::nan(""), 5, 1, "НД"}, {inf, 5, 1, "НД"}, {-inf, 5, 1, "НД"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " P" << c.precision << " D" << c.digits);
        std::string comma = c.expected;
        std::replace(comma.begin(), comma.end(), '.', ',');
        EXPECT_EQ(FormatFixed(c.value, c.precision, c.digits, ".", c.shift), c.expected);
        EXPECT_EQ(FormatFixed(c.value, c.precision, c.digits, ",", c.shift), comma);
    }
    EXPECT_EQ(FormatFixed(1.25, 5, 2, "·"), "1·25");
    EXPECT_EQ(FormatFixed(2.2250738585072014e-308, 3, 400, "."),
              "0." + std::string(307, '0') + "223" + std::string(90, '0'));
}

TEST(ParseDecimal, AcceptsOnlyTheGivenSeparator) {
    const std::optional<double> no;
    // clang-format off
    const std::tuple<const char*, const char*, std::optional<double>> cases[] = {
        {"12,5", ",", 12.5}, {"12.5", ".", 12.5}, {"12.5", ",", no}, {"12,5", ".", no}, {"  -0,53 ", ",", -0.53},
        {"+7", ",", 7.0}, {",5", ",", 0.5}, {"5,", ",", 5.0}, {"", ",", no}, {"   ", ",", no}, {",", ",", no},
        {"-", ",", no}, {"1,2,3", ",", no}, {"1 000", ",", no}, {"1e5", ",", no}, {"0x10", ",", no},
        {"nan", ",", no}, {"--1", ",", no}, {"1-", ",", no}, {"1·5", "·", 1.5}};
    // clang-format on
    for (const auto& [text, sep, expected] : cases) EXPECT_EQ(ParseDecimal(text, sep), expected) << text;
    // Just above the midpoint between 1 and the next float: through a double it would round down.
    EXPECT_EQ(ParseDecimalFloat("1.00000005960464477539062500000001", "."), std::nextafter(1.0f, 2.0f));
    EXPECT_EQ(ParseDecimalFloat("12,34", ","), 12.34f);
    EXPECT_EQ(ParseDecimalFloat("1" + std::string(50, '0'), ","), std::nullopt);
}

TEST(LocaleDecimalSeparator, FollowsLcNumeric) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string seen = (std::setlocale(LC_NUMERIC, "C"), LocaleDecimalSeparator());
    if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr) seen += LocaleDecimalSeparator();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_TRUE(seen == "." || seen == ".,") << seen;  // "." alone where no Russian locale is installed
}

}  // namespace
}  // namespace zemrik
