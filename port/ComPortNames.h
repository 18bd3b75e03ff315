#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// COM port numbers as the user knows them, mapped to Linux device paths: COM n is /dev/ttyS(n-1)
// unless the settings point n somewhere else (a USB adapter, the emulator's pseudo-terminal).
namespace zemrik {

class ComPortNames {
public:
    ComPortNames() = default;
    explicit ComPortNames(std::map<int, std::string> overrides) : overrides_(std::move(overrides)) {}

    std::string DevicePath(int comNumber) const;
    void SetPath(int comNumber, std::string path);

private:
    std::map<int, std::string> overrides_;
};

// What a `--port` argument chose: a COM number and the device it stands for.
struct PortChoice {
    int comNumber = 0;
    std::string path;
};

// The COM number a `--port` path is filed under, so it can be opened through ComNumber.
inline constexpr int kPathPortNumber = 1;

// "2" -> COM2 through `names`; "/dev/ttyUSB0" or "./sim.tty" -> that path (any argument with a
// '/'). nullopt for an empty argument, a number outside 1..255, or anything else.
std::optional<PortChoice> ParsePortArgument(std::string_view argument, const ComPortNames& names);

}  // namespace zemrik
