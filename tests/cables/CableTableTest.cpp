#include "cables/CableTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::MakeCable;

TEST(CableRecord, FieldsSitAtTheirOffsets) {
    CableRecord r = MakeCable("ТПП", 7, 45.6f, 1.0f, 53, 0xEE);
    // Eleven spaces after a three-letter name, no terminator; material; C and R little-endian; d.
    EXPECT_EQ(std::string(r.begin() + 3, r.begin() + 14), std::string(11, ' '));
    EXPECT_EQ(std::vector<int>(r.begin() + 14, r.begin() + 32),
              (std::vector<int>{7, 0x66, 0x66, 0x36, 0x42, 0, 0, 0x80, 0x3F, 0xEE, 0xEE, 0xEE, 0xEE, 53, 0xEE,
                                0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(CableC(r), 45.6f);
    EXPECT_EQ(CableR(r), 1.0f);
}

TEST(CableRecord, RowTexts) {
    struct Case {
        CableRecord record;
        const char* name;
        const char* r;
        const char* c;
        const char* d;
        const char* material;
    };
    CableRecord blank{};
    blank.fill(' ');
    CableRecord nul = MakeCable("ab", 0, 0, 0, 0);
    nul[1] = 0;
    const Case cases[] = {
        {MakeCable("ТПП 10x2", 0, 45.6f, 12.34f, 40), "ТПП 10x2", "12,3", "45,6", "0,40", "Медь"},
        {MakeCable("ABCDEFGHIJKLMN", 1, 123456, 0, 255), "ABCDEFGHIJKLMN", "0,0", "1,2346E5", "2,55",
         "Алюминий"},
        {MakeCable("x", 7, -1.25f, 99999.5f, 0), "x", "1E5", "-1,3", "0,00", "Алюминий"},
        {blank, "              ", "0,0", "0,0", "0,32", "Алюминий"},  // bytes of spaces: C, R are tiny
        {nul, "a", "0,0", "0,0", "0,00", "Медь"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CableNameText(c.record), c.name);
        EXPECT_EQ(CableRText(c.record, ","), c.r);
        EXPECT_EQ(CableCText(c.record, ","), c.c);
        EXPECT_EQ(CableDText(c.record, ","), c.d);
        EXPECT_EQ(MaterialText(c.record[cab::Material]), c.material);
    }
    EXPECT_EQ(CableRText(MakeCable("x", 0, 0, 12.34f, 0), "."), "12.3");
}

TEST(CableRecord, EveryDiameterByteFormatsAndReadsBack) {
    for (int d = 0; d < 256; ++d) {
        const CableRecord r = MakeCable("d", 0, 0, 0, static_cast<std::uint8_t>(d));
        char expected[16];
        std::snprintf(expected, sizeof expected, "%d,%02d", d / 100, d % 100);
        const std::string comma = CableDText(r, ",");
        ASSERT_EQ(comma, expected) << d;
        ASSERT_EQ(ParseCableDiameter(comma, ","), d) << comma;
        ASSERT_EQ(ParseCableDiameter(CableDText(r, "."), "."), d) << d;
    }
}

TEST(CableRecord, DiameterParsing) {
    struct Case {
        const char* text;
        std::optional<int> expected;
    };
    // clang-format off
    const Case cases[] = {
        {"0,53", 53}, {"0,5", 50}, {",5", 50}, {"2", 200}, {"2,55", 255}, {"2,554", 255}, {"0,285", 29},
        {"0,284", 28}, {"0,0049", 0}, {"0,005", 1}, {" 1,1 ", 110}, {"+1", 100}, {"-0", 0}, {"2,555", {}},
        {"2,56", {}}, {"3", {}}, {"9,99", {}}, {"10", {}}, {"-0,01", {}}, {"-1", {}}, {"0.53", {}}, {"", {}},
        {"abc", {}}, {"1,2,3", {}}, {"00002,5", 250}, {"99999999999999999999", {}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto got = ParseCableDiameter(c.text, ",");
        if (c.expected)
            EXPECT_EQ(got, std::optional<std::uint8_t>(static_cast<std::uint8_t>(*c.expected)));
        else
            EXPECT_EQ(got, std::nullopt);
    }
}

TEST(CableRecord, ValueParsingGivesTheNearestFloat) {
    for (auto [text, value] : {std::pair<const char*, std::optional<float>>{"12,34", 12.34f},
                               {"12,3", 12.3f},
                               {"-45", -45.0f},
                               {"12.3", std::nullopt},
                               {"", std::nullopt}})
        EXPECT_EQ(ParseCableValue(text, ","), value) << text;
    // A value shown with one decimal reads back to the float nearest to the shown text.
    const CableRecord r = MakeCable("x", 0, 0, 12.34f, 0);
    EXPECT_EQ(ParseCableValue(CableRText(r, ","), ","), 12.3f);
}

}  // namespace
}  // namespace zemrik
