#include "measurement/MeasurementRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

TEST(MeasurementRecord, ConvertRecordNamesTouchesOnlyNamesOfRealSections) {
    for (auto [stored, converted] : {std::pair{0, 0}, {2, 2}, {15, 5}}) {
        MeasurementRecord r = test::RecordBuilder().Filler(11).Sections(stored);
        MeasurementRecord expected = r;
        auto toOem = [&](std::uint8_t* name) { std::transform(name, name + NameLength, name, AnsiToOem); };
        toOem(expected.data() + rec::Name);
        for (int s = 0; s < converted; ++s) toOem(expected.data() + SectionOffset(s));
        ConvertRecordNames(r, CodePageDirection::AnsiToOem);
        EXPECT_EQ(r, expected) << stored;
    }
}

// A value is read and written only where all four of its bytes lie inside the record.
TEST(MeasurementRecord, ValuesStayInsideTheRecord) {
    MeasurementRecord r{};
    SetRecordFloat(r, 252, 1.5f);
    SetRecordFloat(r, 253, 2.5f);
    EXPECT_EQ(std::vector<int>(r.begin() + 251, r.end()), (std::vector<int>{0, 0x00, 0x00, 0xC0, 0x3F}));
    EXPECT_EQ(RecordFloat(r, 252), 1.5f);
    EXPECT_EQ(RecordFloat(r, 253), 0.0f);
}

TEST(MeasurementList, RemoveShiftsDownAndNeverLeavesTheSlots) {
    MeasurementList list;
    for (int i = 0; i < 3; ++i) list.slots[i] = test::RecordBuilder().Filler(100 + i);
    list.count = 3;
    const MeasurementList original = list;
    list.Remove(3);  // no such record
    list.Remove(-1);
    EXPECT_EQ(list.count, 3);
    list.Remove(0);
    EXPECT_EQ(list.slots[1], original.slots[2]);
    // A damaged count above the capacity: the last slot goes, nothing past the slots is read.
    list.count = 255;
    list.slots[199] = original.slots[0];
    list.Remove(198);
    EXPECT_EQ(list.count, 199);
    EXPECT_EQ(list.slots[198], original.slots[0]);
}

}  // namespace
}  // namespace zemrik
