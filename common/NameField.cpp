#include "common/NameField.h"

#include <algorithm>

namespace zemrik {

std::string NameText(const std::uint8_t* field) {
    const auto* end = std::find(field, field + NameLength, std::uint8_t{0});
    return std::string(field, end);
}

std::string TrimName(const std::uint8_t* field) {
    std::string text = NameText(field);
    const auto last = text.find_last_not_of(' ');
    // A name of nothing but spaces is left as it is, so a blank field still shows as one.
    if (last == std::string::npos) return text;
    text.erase(last + 1);
    return text;
}

NameField PadName(std::string_view text) {
    NameField field;
    field.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), NameLength), field.begin());
    return field;
}

}  // namespace zemrik
