#include "common/NameField.h"

#include <gtest/gtest.h>

namespace zemrik {
namespace {

TEST(NameField, TextTrimAndPadKeepToTheFourteenBytes) {
    // Each field is followed by an X: a reader that runs past the 14 bytes picks it up.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"abcdefghijklmnX", "abcdefghijklmn", "abcdefghijklmn"},
        {"              X", "              ", "              "},  // a blank name stays blank
        {"ab  \0         X", "ab  ", "ab"},
        {" a b          X", " a b          ", " a b"}};
    for (const auto& [bytes, text, trimmed] : cases) {
        const auto* field = reinterpret_cast<const std::uint8_t*>(bytes);
        EXPECT_EQ(NameText(field), text);
        EXPECT_EQ(TrimName(field), trimmed);
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
