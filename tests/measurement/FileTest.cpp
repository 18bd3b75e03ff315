#include "measurement/MeasurementFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/RecordBuilders.h"

// What parses the zmk fuzz target checks; the header carried through a file, the document tests.
namespace zemrik {
namespace {

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
