#include "measurement/MeasurementDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

// Which rows each kind fills, temperatures, section lists: the display fuzz target; section
// panels: the CLI's show. Here each quantity's rule at its limits.
namespace zemrik {
namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
const float NaN = std::nanf("");

TEST(ValueRules, EveryQuantityAtItsLimits) {
    using Rule = std::string (*)(float, std::string_view);
    using Cases = std::vector<std::pair<float, std::string>>;  // with "."; the "," variant is derived
    // A rounded-up value below a limit is shown; the difference is cut to whole ohms first; a
    // scaled half rounds up (1450 * 0.001 is 1.4499... in binary); log10(999.99994f) is 3.
    // clang-format off
    const std::pair<Rule, Cases> rules[] = {
        {ResistanceText, {{10000.0f, "> 10000 Ом"}, {9999.96f, "10000.0 Ом"}, {-200000.0f, "-2E5 Ом"},
            {-Inf, "НД"}, {NaN, "НД"}}},
        {DifferenceText, {{100.0f, "> 100 Ом"}, {-100.4f, "> 100 Ом"}, {-99.99f, "-100.0 Ом"}}},
        {CapacitanceText, {{3000.0f, "> 3000 нФ"}, {-3000.0f, "> 3000 нФ"}, {2999.96f, "3000.0 нФ"}}},
        {DistanceText, {{60000.0f, "> 60 км"}, {59999.9f, "60000.0 м"}, {-70000.0f, "-70000.0 м"}}},
        {InsulationText, {{1450.0f, "1.5 MОм"}, {1450000.0f, "1.5 ГОм"}, {999.0f, "999.0 кОм"},
            {999999.0f, "1000.0 MОм"}, {999.99994f, "1.0 MОм"}, {20000000.0f, "> 20 ГОм"}}},
        {RatioDistanceText, {{-10045.0f, "-10.05 км"}, {999.0f, "999.0 м"}, {1000.0f, "1000 м"},
            {59999.0f, "60.00 км"}, {60000.0f, "> 60 км"}, {-65000.0f, "> 60 км"}}}};
    // clang-format on
    for (const auto& [rule, cases] : rules) {
        for (const auto& [value, expected] : cases) {
            SCOPED_TRACE(testing::Message() << expected << " for " << value);
            std::string comma = expected;
            std::replace(comma.begin(), comma.end(), '.', ',');
            EXPECT_EQ(rule(value, "."), expected);
            EXPECT_EQ(rule(value, ","), comma);
        }
    }
}

}  // namespace
}  // namespace zemrik
