#include "measurement/MeasurementRecord.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(MeasurementList, RemoveShiftsDownAndNeverLeavesTheSlots) {
    MeasurementList list;
    for (int i = 0; i < 3; ++i) list.slots[i] = test::RecordBuilder().Filler(100 + i);
    list.count = 3;
    const MeasurementList original = list;
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
