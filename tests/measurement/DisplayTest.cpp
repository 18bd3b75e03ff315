#include "measurement/MeasurementDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/CodePage.h"

// Which rows each kind fills, temperatures, section lists: the display fuzz target; section
// panels: the CLI's show. Here each quantity's rule at its limits.
namespace zemrik {
namespace {

// Each field at its byte offset, little-endian, and the rows each kind fills from it; the
// sections at 79 and 111 with their own fields.
TEST(ShowMeasurement, EveryFieldIsReadAtItsOffset) {
    MeasurementRecord r{};
    const auto put = [&](std::size_t at, float v) {
        const auto bits = std::bit_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) r[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    };
    const std::pair<std::size_t, float> fields[] = {
        {15, 1.5f},  {19, 2.5f},       {23, 3.5f},  {27, 4.5f},  {31, 5.5f},  {35, 6.5f},
        {39, 7.5f},  {43, 8.5f},       {47, 9.5f},  {51, 0.25f}, {55, 11.5f}, {94, 12345.6f},
        {98, 12.5f}, {102, 123456.7f}, {126, 1.0f}, {130, 2.0f}, {134, 3.0f}};
    for (const auto& [at, v] : fields) put(at, v);
    const std::string names = Utf8ToAnsi("ЖИЛА");
    std::memcpy(&r[79], names.data(), names.size());
    r[111] = 'B';
    r[59] = 45;
    r[93] = 1;
    r[106] = 40;
    r[138] = 5;
    // The panel's rows Вид, Rs, dR, Cx(AB), Cx(BC), Cx(AC), Cx/Cl, Ri(AB), Ri(BC), Ri(AC), Lx, t.
    const char* rows[] = {
        "Rs|1.5 Ом||||||||||25°С",
        "dR||2.5 Ом|||||||||25°С",
        "Cx|||3.5 нФ||||||||25°С",
        "Lx|1.5 Ом|||||||||6.5 м|25°С",
        "Ri||||||||7.5 кОм|||25°С",
        "Cx/Cl||||||0.250||||11.5 м|25°С",
        "Ri, Cx|||3.5 нФ|4.5 нФ|5.5 нФ||7.5 кОм|8.5 кОм|9.5 кОм||25°С",
        "|||||||||||25°С",  // codes 7 to 15 name no kind
    };
    for (int kind : {0, 1, 2, 3, 4, 5, 6, 7, 15}) {
        r[14] = static_cast<std::uint8_t>(0x20 | kind);
        const MeasurementTexts t = ShowMeasurement(r, ".");
        std::string shown = t.TypeLbl;
        for (const std::string* row : {&t.RsLbl, &t.dRLbl, &t.CxabLbl, &t.CxbcLbl, &t.CxacLbl, &t.KLbl,
                                       &t.RiabLbl, &t.RibcLbl, &t.RiacLbl, &t.LxLbl, &t.TLbl})
            shown += "|" + *row;
        EXPECT_EQ(shown, rows[std::min(kind, 7)]);
        EXPECT_EQ(t.items, (std::vector<std::string>{"ЖИЛА", "B"}));
        const SectionTexts& s0 = t.section;
        EXPECT_EQ(s0.CLbl + "|" + s0.RLbl + "|" + s0.dLbl + "|" + s0.MaterialLbl + "|" + s0.LLbl,
                  "12346.0 нФ/км|12.5 Ом/км|0.40 мм|Алюминий|123457.0 м");
        const SectionTexts s1 = SectionItemTexts(r, 1, ".");
        EXPECT_EQ(s1.CLbl + "|" + s1.RLbl + "|" + s1.dLbl + "|" + s1.MaterialLbl + "|" + s1.LLbl,
                  "1.0 нФ/км|2.0 Ом/км|0.05 мм|Медь|3.0 м");
    }
    // Picked in the box, a section's length has five significant digits, not six; there is no
    // section to pick beyond the record's own.
    EXPECT_EQ(SectionItemTexts(r, 0, ".").LLbl, "1.2346E5 м");
    for (int s : {-1, 2}) EXPECT_EQ(SectionItemTexts(r, s, ".").CLbl, "") << s;
}

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
            {-12345.6f, "-12346.0 Ом"}, {-Inf, "НД"}, {NaN, "НД"}}},
        {DifferenceText, {{100.0f, "> 100 Ом"}, {99.97f, "100.0 Ом"}, {-100.4f, "> 100 Ом"},
            {-99.99f, "-100.0 Ом"}}},
        {CapacitanceText, {{3000.0f, "> 3000 нФ"}, {-3000.0f, "> 3000 нФ"}, {2999.96f, "3000.0 нФ"}}},
        {DistanceText, {{60000.0f, "> 60 км"}, {59999.9f, "60000.0 м"}, {-70000.0f, "-70000.0 м"},
            {12345.6f, "12346.0 м"}}},
        {InsulationText, {{1450.0f, "1.5 MОм"}, {1450000.0f, "1.5 ГОм"}, {999.0f, "999.0 кОм"},
            {999999.0f, "1000.0 MОм"}, {999.99994f, "1.0 MОм"}, {1000000.0f, "1.0 ГОм"},
            {20000000.0f, "> 20 ГОм"}, {19999998.0f, "20.0 ГОм"}, {-25000000.0f, "-25.0 ГОм"},
            {0.0f, "0.0 кОм"}}},
        {RatioKText, {{0.4567f, "0.457"}, {123.4567f, "123.460"}}},
        {RatioDistanceText, {{-10045.0f, "-10.05 км"}, {999.0f, "999.0 м"}, {1000.0f, "1000 м"},
            {9999.0f, "9999 м"}, {10000.0f, "10.00 км"}, {59999.0f, "60.00 км"}, {60000.0f, "> 60 км"},
            {-65000.0f, "> 60 км"}, {100000.0f, "> 60 км"}, {0.0f, "0.0 м"}}}};
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
