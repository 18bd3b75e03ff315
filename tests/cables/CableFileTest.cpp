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

std::string RecordBytes(const CableTable& table, int count) {
    std::string bytes;
    for (int i = 0; i < count; ++i) bytes.append(table.records[i].begin(), table.records[i].end());
    return bytes;
}

TEST(CableTableFile, SizeDecidesTheCountAndEveryByteRoundTrips) {
    TempFolder dir;
    const std::string path = dir.File("s.cbl");
    const std::string all = RecordBytes(FilledTable(64, 500), 64) + std::string(31, '\x07');
    for (auto [size, count] : {std::pair<std::size_t, int>{0, 0},
                               {1, 0},
                               {31, 0},
                               {32, 1},
                               {100, 3},
                               {2048, 64},
                               {2048 + 31, 64}}) {
        SCOPED_TRACE(size);
        WriteWholeFile(path, all.substr(0, size));
        CableTable table = FilledTable(4, 400);
        ASSERT_TRUE(LoadTableFile(path, table));
        EXPECT_EQ(table.count, count);
        EXPECT_EQ(RecordBytes(table, count), all.substr(0, 32 * count));
        // Saved again: exactly the records, not the ignored tail nor the slots past the count.
        ASSERT_TRUE(SaveTableFile(path, table));
        EXPECT_EQ(ReadWholeFile(path), all.substr(0, 32 * count));
    }
}

TEST(CableTableFile, RefusedFilesChangeNothing) {
    TempFolder dir;
    WriteWholeFile(dir.File("65.cbl"), RecordBytes(FilledTable(64, 600), 64) + std::string(32, '\x03'));
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

    // A failed save keeps the old file and leaves no temporary (the atomic writer's tests hold the
    // other ways a write fails).
    const std::string path = dir.File("old.cbl");
    WriteWholeFile(path, "old table");
    CableTable table = FilledTable(3, 800);
    EXPECT_FALSE(SaveTableFile(dir.File("missing/t.cbl"), table));
    EXPECT_FALSE(SaveTableFile("", table));  // no remembered path
    table.count = 65;
    EXPECT_FALSE(SaveTableFile(path, table));
    EXPECT_EQ(ReadWholeFile(path), "old table");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"65.cbl", "big.cbl", "folder.cbl", "old.cbl"}));
}

}  // namespace
}  // namespace zemrik
