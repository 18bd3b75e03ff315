#include "common/NameField.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zemrik {
namespace {

TEST(NameField, TextTrimAndPadKeepToTheFourteenBytes) {
    struct Case {
        const char* bytes;  // exactly 14 bytes
        const char* text;
        const char* trimmed;
    };
    const Case cases[] = {
        {"abcdefghijklmn", "abcdefghijklmn", "abcdefghijklmn"},
        {"              ", "              ", "              "},  // all blanks stay a blank name
        {"ab  \0         ", "ab  ", "ab"},
        {" a b          ", " a b          ", " a b"},
    };
    for (const auto& c : cases) {
        // A non-NUL byte follows the field: a reader that runs on would pick it up.
        std::uint8_t buffer[NameLength + 1];
        std::memcpy(buffer, c.bytes, NameLength);
        buffer[NameLength] = 'X';
        SCOPED_TRACE(c.text);
        EXPECT_EQ(NameText(buffer), std::string(c.text));
        EXPECT_EQ(TrimName(buffer), std::string(c.trimmed));
    }
    for (auto [text, padded] : {std::pair{"ab", "ab            "}, {"abcdefghijklmnopq", "abcdefghijklmn"}}) {
        const NameField field = PadName(text);
        EXPECT_EQ(std::string(field.begin(), field.end()), padded);
    }
}

TEST(NameField, FileNamePartFollowsTheLastSlashOnly) {
    for (auto [path, name] : {std::pair{"/data/10:30 line.zmk", "10:30 line.zmk"},
                              {"D:\\Data\\line 7.zmk", "D:\\Data\\line 7.zmk"},
                              {"dir/", ""}})
        EXPECT_EQ(FileNamePart(path), name) << path;
}

}  // namespace
}  // namespace zemrik
