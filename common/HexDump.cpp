#include "common/HexDump.h"

namespace zemrik {

std::string HexDumpLines(std::string_view lead, const std::uint8_t* data, std::size_t count) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 16 == 0) {
            if (i > 0) text += '\n';
            text += lead;
        }
        text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    if (count > 0) text += '\n';
    return text;
}

}  // namespace zemrik
