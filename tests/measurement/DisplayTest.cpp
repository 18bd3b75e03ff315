#include "measurement/MeasurementDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "support/RecordBuilders.h"

// Which rows each kind fills, temperatures, section lists and held texts: the display fuzz target.
namespace zemrik {
namespace {

using test::RecordBuilder;

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
            {Inf, "> 10000 Ом"}, {-Inf, "НД"}, {NaN, "НД"}}},
        {DifferenceText, {{99.97f, "100.0 Ом"}, {100.0f, "> 100 Ом"}, {-100.4f, "> 100 Ом"},
            {-99.99f, "-100.0 Ом"}, {-Inf, "> 100 Ом"}, {NaN, "НД"}}},
        {CapacitanceText, {{3000.0f, "> 3000 нФ"}, {-3000.0f, "> 3000 нФ"}, {2999.96f, "3000.0 нФ"}, {NaN, "НД"}}},
        {DistanceText, {{60000.0f, "> 60 км"}, {59999.9f, "60000.0 м"}, {-70000.0f, "-70000.0 м"}, {NaN, "НД"}}},
        {InsulationText, {{1450.0f, "1.5 MОм"}, {1450000.0f, "1.5 ГОм"}, {-1450.0f, "-1.5 MОм"},
            {999.0f, "999.0 кОм"}, {999999.0f, "1000.0 MОм"}, {999.99994f, "1.0 MОм"},
            {20000000.0f, "> 20 ГОм"}, {-25000000.0f, "-25.0 ГОм"}, {Inf, "> 20 ГОм"}, {NaN, "НД"}}},
        {RatioKText, {{0.4567f, "0.457"}, {NaN, "НД"}}},
        {RatioDistanceText, {{10045.0f, "10.05 км"}, {-10045.0f, "-10.05 км"}, {999.0f, "999.0 м"},
            {1000.0f, "1000 м"}, {10000.0f, "10.00 км"}, {59999.0f, "60.00 км"}, {60000.0f, "> 60 км"},
            {-65000.0f, "> 60 км"}, {Inf, "> 60 км"}, {NaN, "НД"}}}};
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

std::string Joined(std::initializer_list<std::string> texts) {
    std::string out;
    for (const std::string& text : texts) out += text + "|";
    out.pop_back();
    return out;
}

std::string Rows(const MeasurementTexts& t) {
    return Joined({t.RsLbl, t.dRLbl, t.CxabLbl, t.CxbcLbl, t.CxacLbl, t.KLbl, t.RiabLbl, t.RibcLbl, t.RiacLbl,
                   t.LxLbl});
}

std::string Panel(const SectionTexts& s) { return Joined({s.CLbl, s.RLbl, s.dLbl, s.MaterialLbl, s.LLbl}); }

TEST(ShowMeasurement, EachKindShowsItsValuesInItsRows) {
    auto noisy = [](int kind) { return RecordBuilder().Filler(kind + 1).Kind(kind); };
    // clang-format off
    const std::pair<MeasurementRecord, const char*> cases[] = {
        {noisy(0).Value(rec::Rs, 10000), "> 10000 Ом|||||||||"},
        {noisy(1).Value(rec::dR, -12.34f), "|-12,3 Ом||||||||"},
        {noisy(2).Value(rec::Cxab, -3500), "||> 3000 нФ|||||||"},
        {noisy(3).Value(rec::Rs, 12.5f).Value(rec::Lx, 1234.5f), "12,5 Ом|||||||||1234,5 м"},
        {noisy(4).Value(rec::Riab, 1500), "|||||||1,5 MОм||"},
        {noisy(5).Value(rec::K, 0.4567f).Value(rec::LxCl, 23456), "|||||0,457||||23,46 км"},
        {noisy(6).Value(rec::Cxab, 1).Value(rec::Cxbc, 2).Value(rec::Cxac, 3000).Value(rec::Riab, 999)
             .Value(rec::Ribc, 1000).Value(rec::Riac, 25000000),
         "||1,0 нФ|2,0 нФ|> 3000 нФ||999,0 кОм|1,0 MОм|> 20 ГОм|"}};
    // clang-format on
    for (const auto& [record, rows] : cases) EXPECT_EQ(Rows(ShowMeasurement(record, ",")), rows);
}

TEST(ShowMeasurement, SectionPanelAndPickedSections) {
    MeasurementRecord r = RecordBuilder()
                              .Filler(21)
                              .Sections(15)
                              .Section(0, "ТПП", 0, 45.6f, 90.25f, 12345.6f, 40)
                              .Section(1, "Алюм", 7, 50, 150, 1000, 255);
    EXPECT_EQ(Panel(ShowMeasurement(r, ".").section), "45.6 нФ/км|90.3 Ом/км|0.40 мм|Медь|12345.6 м");
    // A picked section shows its length with five significant digits.
    EXPECT_EQ(Panel(SectionItemTexts(r, 0, ",")), "45,6 нФ/км|90,3 Ом/км|0,40 мм|Медь|12346,0 м");
    EXPECT_EQ(Panel(SectionItemTexts(r, 1, ",")), "50,0 нФ/км|150,0 Ом/км|2,55 мм|Алюминий|1000,0 м");
    for (int bad : {-1, 5}) EXPECT_EQ(Panel(SectionItemTexts(r, bad, ",")), "||||") << bad;  // five at most

    // Without sections the panel still shows bytes 79 to 110, but nothing can be picked.
    r = RecordBuilder().Sections(0).Section(0, "X", 1, 10, 20, 30, 53);
    EXPECT_EQ(Panel(ShowMeasurement(r, ".").section), "10.0 нФ/км|20.0 Ом/км|0.53 мм|Алюминий|30.0 м");
    EXPECT_EQ(Panel(SectionItemTexts(r, 0, ".")), "||||");
}

}  // namespace
}  // namespace zemrik
