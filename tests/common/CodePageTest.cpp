#include "common/CodePage.h"

#include <gtest/gtest.h>

namespace zemrik {
namespace {

TEST(CodePage, AnsiUtf8RoundTripsEveryDefinedByte) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x98) continue;  // the one byte 1251 leaves undefined
        const std::string one(1, static_cast<char>(b));
        SCOPED_TRACE(b);
        EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(one)), one);
    }
    EXPECT_EQ(AnsiToUtf8("\x98"), "\xEF\xBF\xBD");
}

TEST(CodePage, KnownLettersInAllThreeEncodings) {
    struct Case {
        std::uint8_t oem;
        std::uint8_t ansi;
        const char* utf8;
    };
    const Case cases[] = {
        {0x80, 0xC0, "А"}, {0x9F, 0xDF, "Я"}, {0xA0, 0xE0, "а"}, {0xAF, 0xEF, "п"}, {0xE0, 0xF0, "р"},
        {0xEF, 0xFF, "я"}, {0xF0, 0xA8, "Ё"}, {0xF1, 0xB8, "ё"}, {0x41, 0x41, "A"}, {0x20, 0x20, " "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(OemToAnsi(c.oem), c.ansi);
        EXPECT_EQ(AnsiToOem(c.ansi), c.oem);
        EXPECT_EQ(AnsiToUtf8(std::string(1, static_cast<char>(c.ansi))), c.utf8);
        EXPECT_EQ(OemToUtf8(std::string(1, static_cast<char>(c.oem))), c.utf8);
        EXPECT_EQ(Utf8ToAnsi(c.utf8), std::string(1, static_cast<char>(c.ansi)));
    }
}

TEST(CodePage, CyrillicSurvivesTheLineAndBack) {
    std::uint8_t bytes[66];
    int n = 0;
    for (int b = 0xC0; b <= 0xFF; ++b) bytes[n++] = static_cast<std::uint8_t>(b);
    bytes[n++] = 0xA8;
    bytes[n++] = 0xB8;
    std::uint8_t copy[66];
    std::copy(bytes, bytes + n, copy);
    ConvertCodePage(copy, n, CodePageDirection::AnsiToOem);
    EXPECT_NE(std::string(copy, copy + n), std::string(bytes, bytes + n));
    ConvertCodePage(copy, n, CodePageDirection::OemToAnsi);
    EXPECT_EQ(std::string(copy, copy + n), std::string(bytes, bytes + n));
}

TEST(CodePage, ConversionRunsPastNulAndLosesWhatOemCannotHold) {
    std::uint8_t bytes[] = {0xC0, 0x00, 0xC1, 0x80 /* Ђ, not in 866 */};
    ConvertCodePage(bytes, sizeof bytes, CodePageDirection::AnsiToOem);
    EXPECT_EQ(bytes[0], 0x80);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x81);
    ConvertCodePage(bytes, sizeof bytes, CodePageDirection::OemToAnsi);
    EXPECT_EQ(bytes[2], 0xC1);
    EXPECT_NE(bytes[3], 0x80);
}

TEST(CodePage, Utf8ThatAnsiCannotHoldBecomesQuestionMarks) {
    EXPECT_EQ(Utf8ToAnsi("a\xE4\xB8\xAD"
                         "b"),
              "a?b");                    // a CJK character
    EXPECT_EQ(Utf8ToAnsi("\xFF"), "?");  // not UTF-8 at all
    EXPECT_EQ(Utf8ToAnsi("\xD0"), "?");  // cut off
    EXPECT_EQ(Utf8ToAnsi("€"), "\x88");
}

}  // namespace
}  // namespace zemrik
