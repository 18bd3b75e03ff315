#include "common/CodePage.h"

#include <array>

namespace zemrik {
namespace {

#include "common/CodePageTables.inc"

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ToUtf8(std::string_view bytes, const std::array<char32_t, 128>& upper) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto b = static_cast<std::uint8_t>(ch);
        AppendUtf8(out, b < 0x80 ? char32_t{b} : upper[b - 0x80]);
    }
    return out;
}

// Decodes one UTF-8 sequence at text[i]; advances i. Returns U+FFFD for malformed input.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<std::uint8_t>(text[i++]);
    if (b0 < 0x80) return b0;
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size()) return 0xFFFD;
        const auto b = static_cast<std::uint8_t>(text[i]);
        if ((b & 0xC0) != 0x80) return 0xFFFD;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    return cp;
}

}  // namespace

std::uint8_t OemToAnsi(std::uint8_t c) { return c < 0x80 ? c : kOemToAnsi[c - 0x80]; }

std::uint8_t AnsiToOem(std::uint8_t c) { return c < 0x80 ? c : kAnsiToOem[c - 0x80]; }

void ConvertCodePage(std::uint8_t* bytes, std::size_t length, CodePageDirection direction) {
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = direction == CodePageDirection::OemToAnsi ? OemToAnsi(bytes[i]) : AnsiToOem(bytes[i]);
}

std::string AnsiToUtf8(std::string_view ansi) { return ToUtf8(ansi, kAnsiToUnicode); }

std::string OemToUtf8(std::string_view oem) { return ToUtf8(oem, kOemToUnicode); }

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        char mapped = '?';
        for (std::size_t k = 0; k < kAnsiToUnicode.size(); ++k) {
            if (kAnsiToUnicode[k] == cp && cp != 0xFFFD) {
                mapped = static_cast<char>(0x80 + k);
                break;
            }
        }
        out += mapped;
    }
    return out;
}

}  // namespace zemrik
