#include "common/NameField.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace zemrik {
namespace {

// A field's text ends at a NUL inside it and keeps its spaces; trimmed, a blank field stays
// blank; padded, a text fills exactly 14 bytes.
TEST(NameField, TextTrimAndPad) {
    const auto field = [](std::string bytes) {
        NameField f{};
        std::copy_n(bytes.begin(), NameLength, f.begin());
        return f;
    };
    const NameField cut = field(std::string("AB  \0CDEFGHIJK", 14));
    EXPECT_EQ(NameText(cut.data()), "AB  ");
    EXPECT_EQ(TrimName(cut.data()), "AB");
    EXPECT_EQ(TrimName(field("ABCDEFGHIJKLM ").data()), "ABCDEFGHIJKLM");
    EXPECT_EQ(NameText(field("ABCDEFGHIJKLMN").data()), "ABCDEFGHIJKLMN");
    EXPECT_EQ(TrimName(field(std::string(14, ' ')).data()), std::string(14, ' '));
    EXPECT_EQ(PadName("AB"), field("AB            "));
    EXPECT_EQ(PadName("ABCDEFGHIJKLMNOP"), field("ABCDEFGHIJKLMN"));
}

}  // namespace
}  // namespace zemrik
