#include "cables/CableTableFile.h"

#include <gtest/gtest.h>

#include "support/RecordBuilders.h"

// What parses, and that every byte comes back, the cbl fuzz target checks; here: through a file.
namespace zemrik {
namespace {

TEST(CableTableFile, FilesCarryTheBytesAndTooLargeFilesAreRefused) {
    test::TempFolder dir;
    const std::string path = dir.File("t.cbl");
    CableTable table, read;
    table.records[1] = test::MakeCable("К1", 1, 2, 3, 4, 0xA0);
    table.count = 2;
    ASSERT_TRUE(SaveTableFile(path, table));
    ASSERT_TRUE(LoadTableFile(path, read));
    EXPECT_EQ(read.records[1], table.records[1]);
    // More than 64 records, however many, are refused and change nothing.
    test::WriteWholeFile(dir.File("big.cbl"), std::string(100000, 'x'));
    EXPECT_FALSE(LoadTableFile(dir.File("big.cbl"), read));
    EXPECT_EQ(read.count, 2);
    table.count = 64;  // a full table is saved; a damaged count above it never is
    ASSERT_TRUE(SaveTableFile(path, table));
    table.count = 65;
    EXPECT_FALSE(SaveTableFile(path, table));
    EXPECT_EQ(test::ReadWholeFile(path).size(), 64 * 32u);
}

}  // namespace
}  // namespace zemrik
