#include "measurement/MeasurementFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using test::RecordBuilder;
using test::TempFolder;
using test::WriteWholeFile;

MeasurementList FilledList(int count, std::uint32_t seed) {
    MeasurementList list;
    for (int i = 0; i < MeasurementList::Capacity; ++i)
        test::FillBytes(list.slots[i].data(), RecordSize, seed + i);
    list.count = static_cast<std::uint8_t>(count);
    return list;
}

std::string FileBytes(const FileHeader& header, const MeasurementList& list, int count) {
    std::string bytes(header.begin(), header.end());
    bytes[0] = static_cast<char>(count);
    for (int i = 0; i < count; ++i) bytes.append(list.slots[i].begin(), list.slots[i].end());
    return bytes;
}

TEST(MeasurementFile, WriteThenReadGivesEveryByteBack) {
    TempFolder dir;
    for (int count : {0, 1, 3, 200}) {
        SCOPED_TRACE(count);
        const std::string path = dir.File("list" + std::to_string(count) + ".zmk");
        WriteWholeFile(path, std::string(60000, 'x'));  // replaced, not written over
        const MeasurementList written = FilledList(count, 1000 + count);
        FileHeader header;
        test::FillBytes(header.data(), header.size(), 77);
        const FileHeader headerBefore = header;
        ASSERT_TRUE(WriteMeasurementFile(path, written, header));
        EXPECT_EQ(header[0], count);
        EXPECT_TRUE(std::equal(header.begin() + 1, header.end(), headerBefore.begin() + 1));
        const std::string bytes = ReadWholeFile(path);
        ASSERT_EQ(bytes.size(), FileHeaderSize + RecordSize * count);
        EXPECT_EQ(bytes, FileBytes(header, written, count));

        // Bytes after the last record are ignored; slots past the count keep what they held.
        WriteWholeFile(path, bytes + "trailing junk");
        MeasurementList read = FilledList(5, 9);
        const MeasurementList before = read;
        FileHeader readHeader{};
        ASSERT_TRUE(ReadMeasurementFile(path, read, readHeader));
        EXPECT_EQ(read.count, count);
        EXPECT_EQ(readHeader, header);
        for (int i = 0; i < MeasurementList::Capacity; ++i)
            ASSERT_EQ(read.slots[i], i < count ? written.slots[i] : before.slots[i]) << "record " << i;
    }
}

TEST(MeasurementFile, DamagedFilesFailAndChangeNothing) {
    TempFolder dir;
    const MeasurementList good = FilledList(4, 50);
    FileHeader goodHeader{};
    goodHeader.fill(0xAB);
    const std::string four = FileBytes(goodHeader, good, 4);

    struct Case {
        const char* name;
        std::string bytes;
    };
    // The first byte is the count the file claims.
    auto claiming = [](int count, std::string bytes) {
        return bytes.replace(0, 1, 1, static_cast<char>(count));
    };
    const Case cases[] = {
        {"empty", ""},
        {"short header", four.substr(0, 31)},
        {"five claimed, four present", claiming(5, four)},
        {"last record cut", four.substr(0, four.size() - 1)},
        {"count 201 with all its bytes", claiming(201, std::string(32 + 256 * 201, '\x01'))},
        {"count 255", claiming(255, std::string(100, '\x02'))}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("bad.zmk");
        WriteWholeFile(path, c.bytes);
        MeasurementList list = FilledList(7, 3);
        const MeasurementList before = list;
        FileHeader header;
        header.fill(0x5A);
        const FileHeader headerBefore = header;
        EXPECT_FALSE(ReadMeasurementFile(path, list, header));
        EXPECT_EQ(list.count, before.count);
        EXPECT_EQ(list.slots, before.slots);
        EXPECT_EQ(header, headerBefore);
    }
    MeasurementList list;
    FileHeader header{};
    EXPECT_FALSE(ReadMeasurementFile(dir.File("missing.zmk"), list, header));
    EXPECT_FALSE(ReadMeasurementFile(dir.Path(), list, header));
}

// The ways a write can fail are the atomic writer's tests; here: a failure is reported and a
// damaged count is refused before anything is written.
TEST(MeasurementFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("old.zmk");
    WriteWholeFile(path, "old content");
    MeasurementList list = FilledList(3, 80);
    FileHeader header{};
    EXPECT_FALSE(WriteMeasurementFile(dir.File("missing/x.zmk"), list, header));
    list.count = 201;
    EXPECT_FALSE(WriteMeasurementFile(path, list, header));
    EXPECT_EQ(ReadWholeFile(path), "old content");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.zmk"});
}

}  // namespace
}  // namespace zemrik
