#include "measurement/MeasurementRecord.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::RecordBuilder;

TEST(MeasurementRecord, KindAndSectionCountAreTheTwoHalvesOfByte14) {
    struct Case {
        std::uint8_t byte14;
        const char *list, *panel;
        int sections;
    };
    // clang-format off
    const Case cases[] = {
        {0x26, "CR", "Ri, Cx", 2}, {0x00, "Rs", "Rs", 0}, {0x51, "dR", "dR", 5}, {0x62, "Cx", "Cx", 5},
        {0xF3, "Lx", "Lx", 5}, {0x14, "Ri", "Ri", 1}, {0x05, "Cl", "Cx/Cl", 0}, {0x37, "", "", 3}, {0x0F, "", "", 0}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.byte14});
        MeasurementRecord r{};
        r[rec::KindSections] = c.byte14;
        EXPECT_EQ(KindListText(RecordKind(r)), c.list);
        EXPECT_EQ(KindPanelText(RecordKind(r)), c.panel);
        EXPECT_EQ(SectionCount(r), c.sections);
        EXPECT_EQ(StoredSectionCount(r), c.byte14 >> 4);
    }
}

TEST(MeasurementRecord, RenamingAndSectionNamesKeepToTheirFields) {
    MeasurementRecord r = RecordBuilder().Filler(7).Sections(2).Section(1, "ТПП 10x2", 0, 45, 90, 100, 40);
    const MeasurementRecord before = r;
    RenameRecord(r, "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(RecordName(r), "ABCDEFGHIJKLMN");
    for (std::size_t i = NameLength; i < RecordSize; ++i) ASSERT_EQ(r[i], before[i]) << "byte " << i;
    EXPECT_EQ(AnsiToUtf8(SectionName(r, 1)), "ТПП 10x2      ");
    EXPECT_EQ(SectionName(r, 5) + SectionName(r, -1), "");
}

TEST(MeasurementRecord, ConvertRecordNamesTouchesOnlyNamesOfRealSections) {
    for (auto [stored, converted] : {std::pair{0, 0}, {2, 2}, {15, 5}}) {
        MeasurementRecord r = RecordBuilder().Filler(11).Sections(stored);
        MeasurementRecord expected = r;
        auto toOem = [&](std::uint8_t* name) { std::transform(name, name + NameLength, name, AnsiToOem); };
        toOem(expected.data() + rec::Name);
        for (int s = 0; s < converted; ++s) toOem(expected.data() + SectionOffset(s));
        ConvertRecordNames(r, CodePageDirection::AnsiToOem);
        EXPECT_EQ(r, expected) << stored;
    }
}

TEST(MeasurementList, RemoveShiftsDownAndNeverLeavesTheSlots) {
    MeasurementList list;
    for (int i = 0; i < 3; ++i) list.slots[i] = RecordBuilder().Filler(100 + i);
    list.count = 3;
    const MeasurementList original = list;
    for (int bad : {-1, 3}) list.Remove(bad);
    list.Remove(0);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(std::vector(list.slots.begin(), list.slots.begin() + 2),
              std::vector(original.slots.begin() + 1, original.slots.begin() + 3));
    // A damaged count above the capacity: the last slot goes, nothing past the slots is read.
    list.count = 255;
    list.slots[199] = original.slots[0];
    list.Remove(198);
    EXPECT_EQ(list.count, 199);
    EXPECT_EQ(list.slots[198], original.slots[0]);
}

}  // namespace
}  // namespace zemrik
