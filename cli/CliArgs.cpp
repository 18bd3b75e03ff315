#include "CliArgs.h"

#include <algorithm>

namespace zemrik::cli {

const std::string* ParsedArgs::Value(std::string_view name) const {
    auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
}

ParseResult ParseArgs(std::span<const std::string> args, std::span<const OptionDef> known) {
    ParseResult result;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A lone "-" is an ordinary argument (by convention a file name), never an option.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            result.args.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name = arg;
        std::string_view inlineValue;
        bool hasInlineValue = false;
        if (auto eq = name.find('='); eq != std::string_view::npos && name.starts_with("--")) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasInlineValue = true;
        }
        auto option =
            std::find_if(known.begin(), known.end(), [&](const OptionDef& s) { return s.name == name; });
        if (option == known.end()) {
            result.error = "unknown option " + std::string(name);
            return result;
        }
        if (!option->takesValue) {
            if (hasInlineValue) {
                result.error = "option " + std::string(name) + " takes no value";
                return result;
            }
            result.args.options[std::string(name)] = "";
            continue;
        }
        if (hasInlineValue) {
            result.args.options[std::string(name)] = std::string(inlineValue);
        } else if (i + 1 < args.size()) {
            result.args.options[std::string(name)] = args[++i];
        } else {
            result.error = "option " + std::string(name) + " needs a value";
            return result;
        }
    }
    return result;
}

}  // namespace zemrik::cli
