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

TEST(CodePage, BlockConversionRunsPastNulAndKeepsCyrillic) {
    std::string ansi;
    for (int b = 0xC0; b <= 0xFF; ++b) ansi += static_cast<char>(b);
    ansi += std::string("\xA8\xB8\0A", 4);
    std::string line = ansi;
    auto convert = [](std::string& text, CodePageDirection direction) {
        ConvertCodePage(reinterpret_cast<std::uint8_t*>(text.data()), text.size(), direction);
    };
    convert(line, CodePageDirection::AnsiToOem);
    EXPECT_EQ(line.substr(0, 2) + line.substr(64), std::string("\x80\x81\xF0\xF1\0A", 6));
    convert(line, CodePageDirection::OemToAnsi);
    EXPECT_EQ(line, ansi);

    std::string lost = "\x80";  // Ђ is not in 866
    convert(lost, CodePageDirection::AnsiToOem);
    convert(lost, CodePageDirection::OemToAnsi);
    EXPECT_NE(lost, "\x80");
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
