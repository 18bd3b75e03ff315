#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A small parser for the arguments that follow a command's words: positional arguments and
// long options ("--name", "--name VALUE" or "--name=VALUE"). "--" ends the options.
namespace zemrik::cli {

struct OptionDef {
    std::string_view name;  // with the leading "--"
    bool takesValue = false;
};

struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string, std::less<>> options;  // the last occurrence wins

    bool Has(std::string_view name) const { return options.find(name) != options.end(); }
    // The option's value, or nullptr when the option was not given.
    const std::string* Value(std::string_view name) const;
};

struct ParseResult {
    ParsedArgs args;
    std::string error;  // empty on success, else what was wrong, for the usage message
    bool Ok() const { return error.empty(); }
};

ParseResult ParseArgs(std::span<const std::string> args, std::span<const OptionDef> known);

}  // namespace zemrik::cli
