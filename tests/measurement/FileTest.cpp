#include "measurement/MeasurementFile.h"

#include <gtest/gtest.h>

#include "support/RecordBuilders.h"

// What parses, and that every byte comes back, the zmk fuzz target checks; here: through a file.
namespace zemrik {
namespace {

TEST(MeasurementFile, FilesCarryTheBytesAndADamagedCountIsNeverWritten) {
    test::TempFolder dir;
    const std::string path = dir.File("a.zmk");
    MeasurementList list, read;
    list.slots[1] = test::RecordBuilder().Filler(80);
    list.count = 2;
    FileHeader header, readHeader{};
    header.fill(0x5A);
    ASSERT_TRUE(WriteMeasurementFile(path, list, header));
    ASSERT_TRUE(ReadMeasurementFile(path, read, readHeader));
    EXPECT_EQ(readHeader, header);
    EXPECT_EQ(read.slots[1], list.slots[1]);
    EXPECT_FALSE(ReadMeasurementFile(dir.File("missing.zmk"), read, readHeader));
    EXPECT_EQ(read.count, 2);
    list.count = 201;
    EXPECT_FALSE(WriteMeasurementFile(path, list, header));
    EXPECT_EQ(test::ReadWholeFile(path).size(), FileHeaderSize + 2 * RecordSize);
}

}  // namespace
}  // namespace zemrik
