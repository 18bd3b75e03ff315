#include "measurement/MeasurementDisplay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::RecordBuilder;

constexpr float Inf = std::numeric_limits<float>::infinity();
const float NaN = std::nanf("");

std::string WithComma(std::string text) {
    for (char& c : text)
        if (c == '.') c = ',';
    return text;
}

struct RuleCase {
    float value;
    const char* expected;  // with "." as separator; the "," variant is derived
};

template <std::size_t N>
void CheckRule(const char* name, std::string (*rule)(float, std::string_view), const RuleCase (&cases)[N]) {
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << name << "(" << c.value << ")");
        EXPECT_EQ(rule(c.value, "."), c.expected);
        EXPECT_EQ(rule(c.value, ","), WithComma(c.expected));
    }
}

TEST(ValueRules, EveryQuantityWithItsLimits) {
    // clang-format off
    // The over-range limits apply to the signed value; a rounded-up number below a limit is shown.
    const RuleCase resistance[] = {
        {10000.0f, "> 10000 Ом"}, {9999.96f, "10000.0 Ом"}, {9999.94f, "9999.9 Ом"}, {-5.0f, "-5.0 Ом"},
        {-20000.0f, "-20000.0 Ом"}, {-200000.0f, "-2E5 Ом"}, {12.5f, "12.5 Ом"}, {0.0f, "0.0 Ом"},
        {-0.04f, "0.0 Ом"}, {Inf, "> 10000 Ом"}, {-Inf, "НД"}, {NaN, "НД"}};
    // The difference is truncated to whole ohms before the limit test: 99.97 is still shown.
    const RuleCase difference[] = {
        {-12.34f, "-12.3 Ом"}, {-0.04f, "0.0 Ом"}, {150.0f, "> 100 Ом"}, {-100.7f, "> 100 Ом"},
        {99.97f, "100.0 Ом"}, {100.0f, "> 100 Ом"}, {-100.4f, "> 100 Ом"}, {-99.99f, "-100.0 Ом"},
        {1e30f, "> 100 Ом"}, {-Inf, "> 100 Ом"}, {NaN, "НД"}};
    const RuleCase capacitance[] = {
        {-3500.0f, "> 3000 нФ"}, {3000.0f, "> 3000 нФ"}, {-3000.0f, "> 3000 нФ"}, {2999.96f, "3000.0 нФ"},
        {45.6f, "45.6 нФ"}, {-2999.0f, "-2999.0 нФ"}, {NaN, "НД"}};
    // 59999.9 needs six significant digits and is shown with five.
    const RuleCase distance[] = {
        {1234.5f, "1234.5 м"}, {60000.0f, "> 60 км"}, {250000.0f, "> 60 км"}, {59999.9f, "60000.0 м"},
        {5999.94f, "5999.9 м"}, {59999.96f, "60000.0 м"}, {-70000.0f, "-70000.0 м"}, {NaN, "НД"}};
    // log10(999.99994) is just below 3 in double but rounds to 3.0 as a float. A scaled half
    // (1450 kOhm is 1.45 MOhm) rounds up; 1450 * 0.001 in binary is 1.4499...
    const RuleCase insulation[] = {
        {1450.0f, "1.5 MОм"}, {1450000.0f, "1.5 ГОм"}, {2450.0f, "2.5 MОм"}, {-1450.0f, "-1.5 MОм"},
        {999.0f, "999.0 кОм"}, {0.0f, "0.0 кОм"}, {1500.0f, "1.5 MОм"}, {1000.0f, "1.0 MОм"},
        {999999.0f, "1000.0 MОм"}, {1000000.0f, "1.0 ГОм"}, {15000000.0f, "15.0 ГОм"}, {0.5f, "0.5 кОм"},
        {20000000.0f, "> 20 ГОм"}, {25000000.0f, "> 20 ГОм"}, {-1500.0f, "-1.5 MОм"}, {Inf, "> 20 ГОм"},
        {-25000000.0f, "-25.0 ГОм"}, {999.99994f, "1.0 MОм"}, {NaN, "НД"}};
    const RuleCase ratioK[] = {{0.4567f, "0.457"}, {1.0f, "1.000"}, {-0.0004f, "0.000"}, {NaN, "НД"}};
    const RuleCase ratioDistance[] = {
        {10045.0f, "10.05 км"}, {10005.0f, "10.01 км"}, {-10045.0f, "-10.05 км"},
        {523.4f, "523.4 м"}, {2345.6f, "2346 м"}, {23456.0f, "23.46 км"}, {65000.0f, "> 60 км"},
        {150000.0f, "> 60 км"}, {0.0f, "0.0 м"}, {999.0f, "999.0 м"}, {1000.0f, "1000 м"},
        {9999.4f, "9999 м"}, {10000.0f, "10.00 км"}, {59999.0f, "60.00 км"}, {60000.0f, "> 60 км"},
        {-523.4f, "-523.4 м"}, {-23456.0f, "-23.46 км"}, {-65000.0f, "> 60 км"}, {Inf, "> 60 км"},
        {NaN, "НД"}};
    // clang-format on
    CheckRule("Resistance", ResistanceText, resistance);
    CheckRule("Difference", DifferenceText, difference);
    CheckRule("Capacitance", CapacitanceText, capacitance);
    CheckRule("Distance", DistanceText, distance);
    CheckRule("Insulation", InsulationText, insulation);
    CheckRule("RatioK", RatioKText, ratioK);
    CheckRule("RatioDistance", RatioDistanceText, ratioDistance);
    // Code 20 is 0 °C; the С is Cyrillic.
    for (auto [code, text] : {std::pair{43, "23°С"}, {0, "-20°С"}, {255, "235°С"}})
        EXPECT_EQ(TemperatureText(static_cast<std::uint8_t>(code)), text) << code;
}

// The labels of rows "Rs:" to "Lx:" in panel order.
std::vector<std::string> ValueRows(const MeasurementTexts& t) {
    return {t.RsLbl, t.dRLbl,   t.CxabLbl, t.CxbcLbl, t.CxacLbl,
            t.KLbl,  t.RiabLbl, t.RibcLbl, t.RiacLbl, t.LxLbl};
}

TEST(ShowMeasurement, EachKindFillsOnlyItsRows) {
    using V = std::vector<std::string>;
    const std::string e;
    struct Case {
        MeasurementRecord record;
        const char* type;
        V rows;
    };
    // A record of a kind, with noise in every byte a test does not set.
    auto noisy = [](int kind, std::uint32_t seed) { return RecordBuilder().Filler(seed).Kind(kind); };
    // clang-format off
    const Case cases[] = {
        {noisy(0, 1).Value(rec::Rs, 10000), "Rs", V{"> 10000 Ом", e, e, e, e, e, e, e, e, e}},
        {noisy(1, 2).Value(rec::dR, -12.34f), "dR", V{e, "-12,3 Ом", e, e, e, e, e, e, e, e}},
        {noisy(2, 3).Value(rec::Cxab, -3500), "Cx", V{e, e, "> 3000 нФ", e, e, e, e, e, e, e}},
        {noisy(3, 4).Value(rec::Rs, 12.5f).Value(rec::Lx, 1234.5f), "Lx",
         V{"12,5 Ом", e, e, e, e, e, e, e, e, "1234,5 м"}},
        {noisy(4, 5).Value(rec::Riab, 1500), "Ri", V{e, e, e, e, e, e, e, "1,5 MОм", e, e}},
        {noisy(5, 6).Value(rec::K, 0.4567f).Value(rec::LxCl, 23456), "Cx/Cl",
         V{e, e, e, e, e, "0,457", e, e, e, "23,46 км"}},
        {noisy(6, 7).Value(rec::Cxab, 1).Value(rec::Cxbc, 2).Value(rec::Cxac, 3000)
             .Value(rec::Riab, 999).Value(rec::Ribc, 1000).Value(rec::Riac, 25000000), "Ri, Cx",
         V{e, e, "1,0 нФ", "2,0 нФ", "> 3000 нФ", e, "999,0 кОм", "1,0 MОм", "> 20 ГОм", e}},
        // A ratio distance that is not a number keeps the held neutral texts.
        {RecordBuilder().Kind(5).Value(rec::K, 0.5f).Value(rec::LxCl, NaN), "Cx/Cl",
         V{e, e, e, e, e, "1.000", e, e, e, "0.0 м"}},
        {noisy(7, 8), "", V(10, e)},
        {noisy(15, 9), "", V(10, e)}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const MeasurementTexts t = ShowMeasurement(c.record, ",");
        EXPECT_EQ(t.TypeLbl, c.type);
        EXPECT_EQ(ValueRows(t), c.rows);
        EXPECT_FALSE(t.TLbl.empty());  // every kind, valid or not, shows its temperature
    }
}

// The five texts of a section panel, joined for one comparison.
std::string Joined(const SectionTexts& s) {
    return s.CLbl + "|" + s.RLbl + "|" + s.dLbl + "|" + s.MaterialLbl + "|" + s.LLbl;
}

TEST(ShowMeasurement, SectionsItemsAndTheBytesOfSectionZero) {
    MeasurementRecord r = RecordBuilder()
                              .Filler(21)
                              .Kind(0)
                              .Sections(2)
                              .Temp(43)
                              .Section(0, "ТПП", 0, 45.6f, 90.25f, 12345.6f, 40)
                              .Section(1, "Алюм", 7, 50, 150, 1000, 255);
    MeasurementTexts t = ShowMeasurement(r, ".");
    EXPECT_EQ(t.TLbl, "23°С");
    EXPECT_EQ(t.items,
              (std::vector<std::string>{"ТПП" + std::string(11, ' '), "Алюм" + std::string(10, ' ')}));
    EXPECT_EQ(t.selectedItem, 0);
    EXPECT_EQ(Joined(t.section), "45.6 нФ/км|90.3 Ом/км|0.40 мм|Медь|12345.6 м");
    // Picking a section shows the length with five significant digits.
    EXPECT_EQ(Joined(SectionItemTexts(r, 0, ",")), "45,6 нФ/км|90,3 Ом/км|0,40 мм|Медь|12346,0 м");
    EXPECT_EQ(Joined(SectionItemTexts(r, 1, ",")), "50,0 нФ/км|150,0 Ом/км|2,55 мм|Алюминий|1000,0 м");
    for (int bad : {-1, 2, 5, 100}) EXPECT_EQ(Joined(SectionItemTexts(r, bad, ",")), "||||") << bad;

    // Without sections the panel still shows bytes 79 to 110, but nothing can be picked.
    r = RecordBuilder().Kind(1).Sections(0).Temp(5).Section(0, "X", 1, 10, 20, 30, 53);
    t = ShowMeasurement(r, ".");
    EXPECT_TRUE(t.items.empty());
    EXPECT_EQ(t.selectedItem, -1);
    EXPECT_EQ(t.TLbl, "-15°С");
    EXPECT_EQ(Joined(t.section), "10.0 нФ/км|20.0 Ом/км|0.53 мм|Алюминий|30.0 м");
    EXPECT_EQ(Joined(SectionItemTexts(r, 0, ".")), "||||");

    // A damaged section count shows at most five.
    for (int stored : {5, 6, 15}) {
        r = RecordBuilder().Filler(stored).Kind(12).Sections(stored);
        EXPECT_EQ(ShowMeasurement(r, ".").items.size(), 5u) << stored;
        EXPECT_FALSE(SectionItemTexts(r, 4, ".").MaterialLbl.empty());
        EXPECT_TRUE(SectionItemTexts(r, 5, ".").MaterialLbl.empty());
    }
}

}  // namespace
}  // namespace zemrik
