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

        MeasurementList read = FilledList(5, 9);
        FileHeader readHeader{};
        ASSERT_TRUE(ReadMeasurementFile(path, read, readHeader));
        EXPECT_EQ(read.count, count);
        EXPECT_EQ(readHeader, header);
        for (int i = 0; i < count; ++i) ASSERT_EQ(read.slots[i], written.slots[i]) << "record " << i;
    }
}

TEST(MeasurementFile, ThreeRecordsMake800BytesAndAReplacedFileIsNotAppended) {
    TempFolder dir;
    const std::string path = dir.File("three.zmk");
    WriteWholeFile(path, std::string(5000, 'x'));
    MeasurementList list;
    for (int i = 0; i < 3; ++i) list.slots[i] = RecordBuilder("R" + std::to_string(i)).Kind(i);
    list.count = 3;
    FileHeader header{};
    ASSERT_TRUE(WriteMeasurementFile(path, list, header));
    const std::string bytes = ReadWholeFile(path);
    EXPECT_EQ(bytes.size(), 800u);
    EXPECT_EQ(bytes[0], 3);
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
    std::string claims201(FileHeaderSize + RecordSize * 201, '\x01');
    claims201[0] = static_cast<char>(201);
    std::string claims255(100, '\x02');
    claims255[0] = static_cast<char>(255);
    const Case cases[] = {
        {"empty", ""},
        {"short header", four.substr(0, 31)},
        {"five claimed, four present",
         [&] {
             std::string b = four;
             b[0] = 5;
             return b;
         }()},
        {"last record cut", four.substr(0, four.size() - 1)},
        {"count 201 with all its bytes", claims201},
        {"count 255", claims255},
    };
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

TEST(MeasurementFile, TrailingBytesAreIgnoredAndSlotsPastTheCountKeepTheirBytes) {
    TempFolder dir;
    const MeasurementList source = FilledList(2, 60);
    FileHeader h{};
    WriteWholeFile(dir.File("t.zmk"), FileBytes(h, source, 2) + "trailing junk");
    MeasurementList list = FilledList(9, 61);
    const MeasurementList before = list;
    FileHeader header{};
    ASSERT_TRUE(ReadMeasurementFile(dir.File("t.zmk"), list, header));
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.slots[0], source.slots[0]);
    EXPECT_EQ(list.slots[1], source.slots[1]);
    EXPECT_EQ(list.slots[2], before.slots[2]);
}

TEST(MeasurementFile, HeaderBytesTravelFromTheOpenedFileToEverySave) {
    TempFolder dir;
    FileHeader fileHeader;
    test::FillBytes(fileHeader.data(), fileHeader.size(), 5);
    const MeasurementList source = FilledList(1, 70);
    WriteWholeFile(dir.File("in.zmk"), FileBytes(fileHeader, source, 1));

    MeasurementList list;
    FileHeader header{};
    ASSERT_TRUE(ReadMeasurementFile(dir.File("in.zmk"), list, header));
    list.slots[1] = RecordBuilder("new");
    list.count = 2;
    ASSERT_TRUE(WriteMeasurementFile(dir.File("out.zmk"), list, header));
    const std::string out = ReadWholeFile(dir.File("out.zmk"));
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out.substr(1, 31), std::string(fileHeader.begin() + 1, fileHeader.end()));
}

TEST(MeasurementFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("old.zmk");
    WriteWholeFile(path, "old content");
    std::filesystem::create_directory(dir.File("folder.zmk"));
    const MeasurementList list = FilledList(3, 80);
    FileHeader header{};
    EXPECT_FALSE(WriteMeasurementFile(dir.File("missing/x.zmk"), list, header));
    EXPECT_FALSE(WriteMeasurementFile(dir.File("folder.zmk"), list, header));
    MeasurementList damaged = list;
    damaged.count = 201;
    EXPECT_FALSE(WriteMeasurementFile(path, damaged, header));
    EXPECT_EQ(ReadWholeFile(path), "old content");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder.zmk", "old.zmk"}));
}

TEST(MeasurementFile, MessagesNameTheFilePart) {
    EXPECT_EQ(ReadErrorText("/data/meas/line 7.zmk"), "Не могу открыть файл line 7.zmk !");
    EXPECT_EQ(WriteErrorText("D:\\Data\\line 7.zmk"), "Не могу записать файл line 7.zmk !");
    EXPECT_EQ(WriteErrorText(""), "Не могу записать файл  !");
}

}  // namespace
}  // namespace zemrik
