#include "cables/CableTableFile.h"

#include <gtest/gtest.h>

#include "support/RecordBuilders.h"

// Which sizes parse, and that parsing and building give every byte back, are the fuzz target's
// invariants, replayed over its seeds (0, 31, 100 bytes, 64 and 65 records) by ctest.
namespace zemrik {
namespace {

TEST(CableTableFile, FilesCarryTheBytesAndTooLargeFilesAreRefused) {
    test::TempFolder dir;
    const std::string path = dir.File("t.cbl");
    CableTable table;
    for (int i = 0; i < 3; ++i) table.records[i] = test::MakeCable("К" + std::to_string(i), 1, 2, 3, 4, 0xA0);
    table.count = 3;
    ASSERT_TRUE(SaveTableFile(path, table));
    CableTable read;
    ASSERT_TRUE(LoadTableFile(path, read));
    EXPECT_EQ(read.count, 3);
    EXPECT_EQ(read.records[2], table.records[2]);

    // A file of more than 64 records is refused however large it is, and changes nothing.
    test::WriteWholeFile(dir.File("big.cbl"), std::string(100000, 'x'));
    EXPECT_FALSE(LoadTableFile(dir.File("big.cbl"), read));
    EXPECT_EQ(read.count, 3);
    table.count = 65;
    EXPECT_FALSE(SaveTableFile(path, table));
    EXPECT_EQ(test::ReadWholeFile(path).size(), 3 * CableRecordSize);
}

}  // namespace
}  // namespace zemrik
