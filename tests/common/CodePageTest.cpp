#include "common/CodePage.h"

#include <gtest/gtest.h>

namespace zemrik {
namespace {

TEST(CodePage, EveryByteRoundTripsOrBecomesAQuestionMark) {
    for (int b = 1; b < 256; ++b) {
        SCOPED_TRACE(b);
        const auto byte = static_cast<std::uint8_t>(b);
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(one)), b == 0x98 ? "?" : one);  // 0x98 is undefined in 1251
        EXPECT_EQ(OemToAnsi(AnsiToOem(byte)), AnsiToOem(byte) == '?' ? '?' : b);
        EXPECT_EQ(AnsiToOem(OemToAnsi(byte)), OemToAnsi(byte) == '?' ? '?' : b);
    }
    EXPECT_EQ(AnsiToUtf8("\x98"), "\xEF\xBF\xBD");
    EXPECT_EQ(AnsiToOem(0x80), '?');  // Ђ is not in 866
    EXPECT_EQ(Utf8ToAnsi("a中b"), "a?b");
    EXPECT_EQ(Utf8ToAnsi("\xFF"), "?");  // not UTF-8 at all
    EXPECT_EQ(Utf8ToAnsi("\xD0"), "?");  // cut off
    EXPECT_EQ(Utf8ToAnsi("€"), "\x88");
}

TEST(CodePage, KnownLettersInAllThreeEncodingsAndBlocksRunPastNul) {
    EXPECT_EQ(OemToUtf8("A\x80\xAF\xE0\xEF\xF0\xF1"), "AАпряЁё");
    EXPECT_EQ(AnsiToUtf8("A\xC0\xEF\xF0\xFF\xA8\xB8"), "AАпряЁё");
    const std::string ansi("A\xC0\xEF\0\xF0\xFF\xA8\xB8", 8);
    std::string line = ansi;
    ConvertCodePage(reinterpret_cast<std::uint8_t*>(line.data()), line.size(), CodePageDirection::AnsiToOem);
    EXPECT_EQ(line, std::string("A\x80\xAF\0\xE0\xEF\xF0\xF1", 8));  // 866 has a gap after п
    ConvertCodePage(reinterpret_cast<std::uint8_t*>(line.data()), line.size(), CodePageDirection::OemToAnsi);
    EXPECT_EQ(line, ansi);
}

}  // namespace
}  // namespace zemrik
