#include "common/FormatFixed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zemrik {
namespace {

TEST(FormatFixed, RoundsTheExactValueHalfUpElseScientific) {
    struct Case {
        double value;
        int precision, digits;
        const char* expected;
        int shift = 0;
    };
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const Case cases[] = {
        {1234.56, 5, 1, "1234.6"}, {0.4, 5, 2, "0.40"}, {1, 5, 2, "1.00"}, {0, 5, 1, "0.0"}, {-0.04, 5, 1, "0.0"}, {-0.05, 5, 1, "-0.1"},
        {12.35, 5, 1, "12.3"},        // the double is 12.34999...
        {1234.56f, 5, 1, "1234.6"},   // the float widened is 1234.5600585...
        {0.125, 5, 2, "0.13"}, {0.00049, 5, 3, "0.000"}, {99.96, 5, 1, "100.0"}, {12345.6, 5, 1, "12346.0"},
        {123456, 5, 1, "1.2346E5"}, {99999.5, 5, 1, "1E5"}, {9.6, 1, 0, "1E1"},
        // The shift moves the exact digits: 1450 as thousands is 1.45, a half that rounds up.
        {1450, 5, 1, "1.5", -3}, {0.05, 5, 1, "5.0", 2}, {std::nan(""), 5, 1, "НД"}, {inf, 5, 1, "НД"}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " P" << c.precision << " D" << c.digits);
        EXPECT_EQ(c.shift == 0 ? FormatFixed(c.value, c.precision, c.digits, ".")
                               : FormatFixed(c.value, c.precision, c.digits, ".", c.shift),
                  c.expected);
    }
}

TEST(ParseDecimal, AcceptsOnlyTheGivenSeparator) {
    const std::optional<double> no;
    // clang-format off
    const std::tuple<const char*, const char*, std::optional<double>> cases[] = {
        {"12,5", ",", 12.5}, {"12.5", ",", no}, {"  -0,53 ", ",", -0.53}, {",", ",", no}, {"1,2,3", ",", no},
        {"1e5", ",", no}, {"nan", ",", no}, {"1·5", "·", 1.5}};
    // clang-format on
    for (const auto& [text, sep, expected] : cases) EXPECT_EQ(ParseDecimal(text, sep), expected) << text;
    // Just above the midpoint between 1 and the next float: through a double it would round down.
    EXPECT_EQ(ParseDecimalFloat("1.00000005960464477539062500000001", "."), std::nextafter(1.0f, 2.0f));
    EXPECT_EQ(ParseDecimalFloat("1" + std::string(50, '0'), ","), std::nullopt);
}

}  // namespace
}  // namespace zemrik
