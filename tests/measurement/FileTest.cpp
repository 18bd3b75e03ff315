#include "measurement/MeasurementFile.h"

#include <gtest/gtest.h>

#include "support/RecordBuilders.h"

// Which bytes parse, and that parsing and building give every byte back, are the fuzz target's
// invariants, replayed over its seeds (every count limit, cut records, short headers) by ctest.
namespace zemrik {
namespace {

TEST(MeasurementFile, FilesCarryTheBytesAndADamagedCountIsNeverWritten) {
    test::TempFolder dir;
    const std::string path = dir.File("a.zmk");
    MeasurementList list;
    for (int i = 0; i < 3; ++i) list.slots[i] = test::RecordBuilder("R" + std::to_string(i)).Filler(80 + i);
    list.count = 3;
    FileHeader header;
    header.fill(0x5A);
    ASSERT_TRUE(WriteMeasurementFile(path, list, header));
    EXPECT_EQ(header[0], 3);  // the count goes into the header given

    MeasurementList read;
    read.slots[3] = test::RecordBuilder("stays");
    FileHeader readHeader{};
    ASSERT_TRUE(ReadMeasurementFile(path, read, readHeader));
    EXPECT_EQ(readHeader, header);
    EXPECT_EQ(read.count, 3);
    EXPECT_EQ(read.slots[2], list.slots[2]);
    EXPECT_EQ(read.slots[3], test::RecordBuilder("stays").Build());  // past the count: untouched
    EXPECT_FALSE(ReadMeasurementFile(dir.File("missing.zmk"), read, readHeader));

    list.count = 201;
    EXPECT_FALSE(WriteMeasurementFile(path, list, header));
    EXPECT_EQ(test::ReadWholeFile(path).size(), FileHeaderSize + 3 * RecordSize);
}

}  // namespace
}  // namespace zemrik
