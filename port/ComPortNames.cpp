#include "port/ComPortNames.h"

#include <string>
#include <utility>

namespace zemrik {

std::string ComPortNames::DevicePath(int comNumber) const {
    auto found = overrides_.find(comNumber);
    if (found != overrides_.end()) return found->second;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

void ComPortNames::SetPath(int comNumber, std::string path) { overrides_[comNumber] = std::move(path); }

std::optional<PortChoice> ParsePortArgument(std::string_view argument, const ComPortNames& names) {
    if (argument.empty()) return std::nullopt;
    if (argument.find('/') != std::string_view::npos) {
        return PortChoice{kPathPortNumber, std::string(argument)};
    }
    // A bare number, optionally written as "COM3".
    std::string_view digits = argument;
    if (digits.size() > 3 && (digits.substr(0, 3) == "COM" || digits.substr(0, 3) == "com")) {
        digits.remove_prefix(3);
    }
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number < 1 || number > 255) return std::nullopt;
    return PortChoice{number, names.DevicePath(number)};
}

}  // namespace zemrik
