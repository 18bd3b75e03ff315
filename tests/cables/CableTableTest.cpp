#include "cables/CableTable.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/RecordBuilders.h"

// That every R and C text reads back is the cable_row fuzz target's invariant over its seeds.
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
    const CableRecord r = MakeCable("ТПП 10x2", 7, 123456, 12345.6f, 40);
    EXPECT_EQ(CableNameText(r) + "|" + CableRText(r, ",") + "|" + CableCText(r, ",") + "|" +
                  CableDText(r, ",") + "|" + std::string(MaterialText(r[cab::Material])),
              "ТПП 10x2|12346,0|1,2346E5|0,40|Алюминий");
    EXPECT_EQ(MaterialText(0), "Медь");
}

TEST(CableRecord, DiameterTextsAndParsing) {
    for (int d = 0; d < 256; ++d) {
        const CableRecord r = MakeCable("d", 0, 0, 0, static_cast<std::uint8_t>(d));
        char expected[16];
        std::snprintf(expected, sizeof expected, "%d,%02d", d / 100, d % 100);
        ASSERT_EQ(CableDText(r, ","), expected) << d;
        ASSERT_EQ(ParseCableDiameter(expected, ","), d) << d;
    }
    const std::optional<int> no;
    // clang-format off
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"0,53", 53}, {",5", 50}, {"2", 200}, {"2,55", 255}, {"2,554", 255}, {"0,285", 29}, {"0,284", 28},
        {"0,0049", 0}, {"0,005", 1}, {" 1,1 ", 110}, {"+1", 100}, {"-0", 0}, {"00002,5", 250}, {"2,555", no},
        {"2,56", no}, {"3", no}, {"10", no}, {"-0,01", no}, {"0.53", no}, {"", no}, {"1,2,3", no},
        {"99999999999999999999", no}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        const auto got = ParseCableDiameter(text, ",");
        EXPECT_EQ(got ? std::optional<int>(*got) : no, expected) << text;
    }
}

}  // namespace
}  // namespace zemrik
