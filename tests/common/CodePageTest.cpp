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
    EXPECT_EQ(AnsiToOem(0x80), '?');            // Ђ is not in 866
    EXPECT_EQ(Utf8ToAnsi("a中b\xD0"), "a?b?");  // not in 1251, cut off
    EXPECT_EQ(OemToUtf8("A\x80\xAF\xE0\xEF\xF0\xF1"), "AАпряЁё");
    std::string line("\xEF\0\xF0", 3);  // a block runs past a NUL; 866 has a gap after п
    ConvertCodePage(reinterpret_cast<std::uint8_t*>(line.data()), line.size(), CodePageDirection::AnsiToOem);
    EXPECT_EQ(line, std::string("\xAF\0\xE0", 3));
}

}  // namespace
}  // namespace zemrik
