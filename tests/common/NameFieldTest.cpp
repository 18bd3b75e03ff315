#include "common/NameField.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zemrik {
namespace {

NameField Field(const char* bytes14) {
    NameField f;
    std::memcpy(f.data(), bytes14, NameLength);
    return f;
}

TEST(NameField, TextAndTrimStopAtNulAndNeverReadPastTheField) {
    struct Case {
        const char* bytes;  // exactly 14 bytes
        const char* text;
        const char* trimmed;
    };
    const Case cases[] = {
        {"abc           ", "abc           ", "abc"},
        {"abcdefghijklmn", "abcdefghijklmn", "abcdefghijklmn"},
        {"              ", "              ", "              "},  // all blanks stay a blank name
        {"ab\0cdefghijklm", "ab", "ab"},
        {"ab  \0         ", "ab  ", "ab"},
        {"\0             ", "", ""},
        {" a b          ", " a b          ", " a b"},
    };
    for (const auto& c : cases) {
        // The field is followed by a non-NUL byte: a reader that runs on would pick it up.
        std::uint8_t buffer[NameLength + 1];
        std::memcpy(buffer, c.bytes, NameLength);
        buffer[NameLength] = 'X';
        SCOPED_TRACE(c.text);
        EXPECT_EQ(NameText(buffer), std::string(c.text));
        EXPECT_EQ(TrimName(buffer), std::string(c.trimmed));
    }
}

TEST(NameField, PadTakesFourteenBytesAndFillsWithSpaces) {
    EXPECT_EQ(PadName("abc"), Field("abc           "));
    EXPECT_EQ(PadName(""), Field("              "));
    EXPECT_EQ(PadName("abcdefghijklmn"), Field("abcdefghijklmn"));
    EXPECT_EQ(PadName("abcdefghijklmnopq"), Field("abcdefghijklmn"));
}

TEST(NameField, FileNamePartFollowsTheLastSlashOnly) {
    for (auto [path, name] : {std::pair<const char*, const char*>{"/data/10:30 line.zmk", "10:30 line.zmk"},
                              {"D:\\Data\\line 7.zmk", "D:\\Data\\line 7.zmk"},
                              {"a.zmk", "a.zmk"},
                              {"dir/", ""},
                              {"", ""}})
        EXPECT_EQ(FileNamePart(path), name) << path;
}

}  // namespace
}  // namespace zemrik
