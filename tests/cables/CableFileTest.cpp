#include "cables/CableTableFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

CableTable FilledTable(int count, std::uint32_t seed) {
    CableTable table;
    for (int i = 0; i < CableTable::Capacity; ++i)
        test::FillBytes(table.records[i].data(), CableRecordSize, seed + i);
    table.count = static_cast<std::uint8_t>(count);
    return table;
}

// Random bytes standing for `records` records; may be more than a table holds.
std::string RandomRecords(int records, std::uint32_t seed) {
    std::string bytes(CableRecordSize * records, '\0');
    test::FillBytes(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), seed);
    return bytes;
}

std::string RecordBytes(const CableTable& table, int count) {
    std::string bytes;
    for (int i = 0; i < count; ++i) bytes.append(table.records[i].begin(), table.records[i].end());
    return bytes;
}

TEST(CableTableFile, SaveThenLoadKeepsEveryByte) {
    TempFolder dir;
    for (int count : {0, 1, 3, 64}) {
        SCOPED_TRACE(count);
        const std::string path = dir.File("t" + std::to_string(count) + ".cbl");
        const CableTable saved = FilledTable(count, 300 + count);
        ASSERT_TRUE(SaveTableFile(path, saved));
        EXPECT_EQ(ReadWholeFile(path), RecordBytes(saved, count));

        CableTable loaded = FilledTable(10, 1);
        ASSERT_TRUE(LoadTableFile(path, loaded));
        EXPECT_EQ(loaded.count, count);
        for (int i = 0; i < count; ++i) ASSERT_EQ(loaded.records[i], saved.records[i]) << i;
    }
}

TEST(CableTableFile, SizeDecidesTheCountAndTrailingBytesAreDropped) {
    TempFolder dir;
    const CableTable source = FilledTable(4, 400);
    struct Case {
        std::size_t size;
        int count;
    };
    const Case cases[] = {{0, 0}, {1, 0}, {31, 0}, {32, 1}, {100, 3}, {2048, 64}, {2048 + 31, 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::string bytes = RandomRecords(65, 500).substr(0, c.size);
        const std::string path = dir.File("s.cbl");
        WriteWholeFile(path, bytes);
        CableTable table = source;
        ASSERT_TRUE(LoadTableFile(path, table));
        EXPECT_EQ(table.count, c.count);
        EXPECT_EQ(RecordBytes(table, c.count), bytes.substr(0, 32 * c.count));
        // Saved again, the ignored tail is gone.
        ASSERT_TRUE(SaveTableFile(path, table));
        EXPECT_EQ(ReadWholeFile(path).size(), 32u * c.count);
    }
}

TEST(CableTableFile, RefusedFilesLeaveTheTableUntouched) {
    TempFolder dir;
    WriteWholeFile(dir.File("65.cbl"), RandomRecords(65, 600));
    WriteWholeFile(dir.File("big.cbl"), std::string(100000, 'x'));
    std::filesystem::create_directory(dir.File("folder.cbl"));
    for (const char* name : {"65.cbl", "big.cbl", "folder.cbl", "missing.cbl"}) {
        SCOPED_TRACE(name);
        CableTable table = FilledTable(5, 700);
        const CableTable before = table;
        EXPECT_FALSE(LoadTableFile(dir.File(name), table));
        EXPECT_EQ(table.count, before.count);
        EXPECT_EQ(table.records, before.records);
    }
}

TEST(CableTableFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("old.cbl");
    WriteWholeFile(path, "old table");
    std::filesystem::create_directory(dir.File("folder.cbl"));
    const CableTable table = FilledTable(3, 800);
    EXPECT_FALSE(SaveTableFile(dir.File("missing/t.cbl"), table));
    EXPECT_FALSE(SaveTableFile(dir.File("folder.cbl"), table));
    EXPECT_FALSE(SaveTableFile("", table));  // no remembered path
    CableTable damaged = table;
    damaged.count = 65;
    EXPECT_FALSE(SaveTableFile(path, damaged));
    EXPECT_EQ(ReadWholeFile(path), "old table");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder.cbl", "old.cbl"}));
}

}  // namespace
}  // namespace zemrik
