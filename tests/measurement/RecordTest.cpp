#include "measurement/MeasurementRecord.h"

#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::RecordBuilder;

TEST(MeasurementRecord, KindAndSectionCountAreTheTwoHalvesOfByte14) {
    struct Case {
        std::uint8_t byte14;
        int kind;
        int stored;
        int usable;
        const char* list;
        const char* panel;
    };
    const Case cases[] = {
        {0x26, 6, 2, 2, "CR", "Ri, Cx"}, {0x00, 0, 0, 0, "Rs", "Rs"},  {0x51, 1, 5, 5, "dR", "dR"},
        {0x62, 2, 6, 5, "Cx", "Cx"},     {0xF3, 3, 15, 5, "Lx", "Lx"}, {0x14, 4, 1, 1, "Ri", "Ri"},
        {0x05, 5, 0, 0, "Cl", "Cx/Cl"},  {0x07, 7, 0, 0, "", ""},      {0x3F, 15, 3, 3, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.byte14});
        MeasurementRecord r{};
        r[rec::KindSections] = c.byte14;
        EXPECT_EQ(RecordKind(r), c.kind);
        EXPECT_EQ(StoredSectionCount(r), c.stored);
        EXPECT_EQ(SectionCount(r), c.usable);
        EXPECT_EQ(KindListText(c.kind), c.list);
        EXPECT_EQ(KindPanelText(c.kind), c.panel);
    }
    EXPECT_EQ(KindListText(-1), "");
    EXPECT_EQ(KindPanelText(99), "");
}

TEST(MeasurementRecord, NamesListLinesRenamingAndSectionNames) {
    MeasurementRecord r = RecordBuilder("Линия 1").Kind(KindCl).Filler(7);
    EXPECT_EQ(AnsiToUtf8(RecordName(r)), "Линия 1       ");
    EXPECT_EQ(AnsiToUtf8(ListLine(r)), "Линия 1" + std::string(7 + 8, ' ') + "Cl");

    // A NUL ends the name early; codes 7 to 15 have no list text.
    r[3] = 0;
    r[rec::KindSections] = 0x09;
    EXPECT_EQ(ListLine(r), std::string("\xCB\xE8\xED") + "        ");

    // A 14-character name fills the field and does not run on into byte 14.
    const MeasurementRecord before = r;
    RenameRecord(r, "ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(RecordName(r), "ABCDEFGHIJKLMN");
    RenameRecord(r, "ab");
    EXPECT_EQ(RecordName(r), "ab            ");
    for (std::size_t i = NameLength; i < RecordSize; ++i) ASSERT_EQ(r[i], before[i]) << "byte " << i;

    // Section 1 is filler: no NUL anywhere, so its name is all 14 bytes and no more.
    r = RecordBuilder().Sections(2).Filler(3).Section(0, "ТПП 10x2", 0, 45, 90, 100, 40);
    EXPECT_EQ(AnsiToUtf8(SectionName(r, 0)), "ТПП 10x2      ");
    EXPECT_EQ(SectionName(r, 1), std::string(r.begin() + 111, r.begin() + 125));
    EXPECT_EQ(SectionName(r, 5) + SectionName(r, -1), "");
}

TEST(MeasurementRecord, ConvertRecordNamesTouchesOnlyNamesOfRealSections) {
    struct Case {
        std::uint8_t byte14;
        int converted;  // sections whose names are converted
    };
    const Case cases[] = {{0x00, 0}, {0x26, 2}, {0x50, 5}, {0xF6, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int{c.byte14});
        MeasurementRecord r{};
        test::FillBytes(r.data(), r.size(), 11);
        r[rec::KindSections] = c.byte14;
        const MeasurementRecord original = r;
        ConvertRecordNames(r, CodePageDirection::AnsiToOem);
        for (std::size_t i = 0; i < RecordSize; ++i) {
            const bool inName = i < NameLength;
            bool inSection = false;
            for (int s = 0; s < c.converted; ++s)
                inSection |= i >= SectionOffset(s) && i < SectionOffset(s) + NameLength;
            const std::uint8_t expected = inName || inSection ? AnsiToOem(original[i]) : original[i];
            ASSERT_EQ(r[i], expected) << "byte " << i;
        }
    }
}

TEST(MeasurementList, RemoveShiftsDownAndKeepsTheLastSlotsBytes) {
    MeasurementList list;
    for (int i = 0; i < 3; ++i) list.slots[i] = RecordBuilder("R" + std::to_string(i)).Filler(100 + i);
    list.count = 3;
    const MeasurementList original = list;

    list.Remove(0);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.slots[0], original.slots[1]);
    EXPECT_EQ(list.slots[1], original.slots[2]);
    EXPECT_EQ(list.slots[2], original.slots[2]);  // fell off the end, bytes unchanged

    list.Remove(1);
    EXPECT_EQ(list.count, 1);
    EXPECT_EQ(list.slots[0], original.slots[1]);

    for (int bad : {-1, 1, 200}) list.Remove(bad);
    EXPECT_EQ(list.count, 1);
    list.Remove(0);
    list.Remove(0);  // empty: nothing to remove
    EXPECT_EQ(list.count, 0);

    // A full list loses its last record without touching memory beyond the slots.
    MeasurementList full;
    full.count = MeasurementList::Capacity;
    full.slots[199] = RecordBuilder("last");
    full.Remove(199);
    EXPECT_EQ(full.count, 199);
    full.count = 255;  // damage: never more slots than the list has
    full.Remove(198);
    EXPECT_EQ(full.count, 199);
}

}  // namespace
}  // namespace zemrik
