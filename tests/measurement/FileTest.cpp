#include "measurement/MeasurementFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/RecordBuilders.h"

// What parses the zmk fuzz target checks; the header carried through a file, the document tests.
namespace zemrik {
namespace {

// A file is 32 header bytes and count records; one whose count claims more records than it holds,
// or more than the list's 200, is refused and changes nothing.
TEST(MeasurementFile, TheCountSaysHowManyRecordsFollow) {
    test::TempFolder dir;
    MeasurementList list;
    for (int i = 0; i < 200; ++i) list.slots[i] = test::RecordBuilder("R").Filler(i + 1);
    FileHeader header{};
    header.fill(0x5A);
    for (const int count : {0, 3, 200}) {
        list.count = static_cast<std::uint8_t>(count);
        ASSERT_TRUE(WriteMeasurementFile(dir.File("f.zmk"), list, header));
        const std::string bytes = test::ReadWholeFile(dir.File("f.zmk"));
        EXPECT_EQ(bytes.size(), 32u + 256u * count);
        EXPECT_EQ(bytes.substr(0, 32), static_cast<char>(count) + std::string(31, 0x5A));
        MeasurementList read;
        FileHeader readHeader{};
        ASSERT_TRUE(ReadMeasurementFile(dir.File("f.zmk"), read, readHeader)) << count;
        EXPECT_EQ(read.count, count);
        EXPECT_EQ(read.slots[count > 0 ? count - 1 : 0],
                  count > 0 ? list.slots[count - 1] : MeasurementRecord{});
        EXPECT_EQ(readHeader, header);
    }
    const std::string full = test::ReadWholeFile(dir.File("f.zmk"));
    for (const std::string& damaged :
         {full.substr(0, 31), std::string(1, '\5') + full.substr(1, 31 + 4 * 256),
          std::string(1, '\xC9') + full.substr(1)}) {
        test::WriteWholeFile(dir.File("d.zmk"), damaged);
        MeasurementList read;
        read.count = 7;
        FileHeader readHeader{};
        EXPECT_FALSE(ReadMeasurementFile(dir.File("d.zmk"), read, readHeader)) << damaged.size();
        EXPECT_EQ(read.count, 7);
        EXPECT_EQ(readHeader, FileHeader{});
    }
}

TEST(MeasurementFile, ADamagedCountIsNeverWritten) {
    test::TempFolder dir;
    MeasurementList list;
    FileHeader header{};
    list.count = 201;
    EXPECT_FALSE(WriteMeasurementFile(dir.File("a.zmk"), list, header));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.zmk")));
}

}  // namespace
}  // namespace zemrik
