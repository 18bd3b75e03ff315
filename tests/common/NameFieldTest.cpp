#include "common/NameField.h"

#include <gtest/gtest.h>

// Name fields' bytes: the fuzz targets and the rename and list tests.
namespace zemrik {
namespace {

TEST(NameField, FileNamePartFollowsTheLastSlashOnly) {
    EXPECT_EQ(FileNamePart("/data/10:30 line.zmk"), "10:30 line.zmk");
    EXPECT_EQ(FileNamePart("D:\\Data\\line 7.zmk"), "D:\\Data\\line 7.zmk");
}

}  // namespace
}  // namespace zemrik
