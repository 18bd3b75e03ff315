#include "common/Paths.h"

#include <gtest/gtest.h>

namespace zemrik {
namespace {

// Only '/' separates folders: a name may hold ':' or '\' on Linux.
TEST(Paths, NameAndFolderSplitAtTheLastSlashOnly) {
    struct Case {
        const char* path;
        const char* name;
        const char* folder;
    };
    const Case cases[] = {
        {"/data/10:30 line.zmk", "10:30 line.zmk", "/data"},
        {"D:\\Data\\line 7.zmk", "D:\\Data\\line 7.zmk", "."},
        {"/line.zmk", "line.zmk", "/"},
        {"a/b/", "", "a/b"},
        {"meas/x.cbl", "x.cbl", "meas"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileNamePart(c.path), c.name) << c.path;
        EXPECT_EQ(FolderPart(c.path), c.folder) << c.path;
    }
}

}  // namespace
}  // namespace zemrik
