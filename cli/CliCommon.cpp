#include "cli/CliCommon.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <set>

#include "common/FormatFixed.h"

namespace zemrik::cli {

bool WriteStdout(std::string_view text) {
    errno = 0;
    bool ok = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    ok = (std::fflush(stdout) == 0) && ok && !std::ferror(stdout);
    if (!ok) {
        int error = errno;
        WriteStderr(std::string("zemrik-cli: cannot write the output: ") +
                    (error != 0 ? std::strerror(error) : "write error") + "\n");
    }
    return ok;
}

void WriteStderr(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++width;  // count lead bytes only
    }
    return width;
}

std::string PadRight(std::string_view utf8, std::size_t width) {
    std::string text(utf8);
    std::size_t used = DisplayWidth(utf8);
    if (used < width) text.append(width - used, ' ');
    return text;
}

std::string PrintableText(std::string text) {
    for (char& c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return text;
}

std::string TrimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::optional<std::vector<int>> RecordSelection(const std::vector<unsigned>& given, int count) {
    std::set<int> chosen;
    for (unsigned index : given) {
        if (index >= static_cast<unsigned>(count)) return std::nullopt;
        chosen.insert(static_cast<int>(index));
    }
    return std::vector<int>(chosen.begin(), chosen.end());
}

std::string RecordSelectionError(int count) {
    return UsageErrorText(count == 0 ? std::string("--records: the file holds no records")
                                     : "--records: the file holds records 0 to " + std::to_string(count - 1));
}

std::string DecimalSeparator(const CliRequest& request) {
    if (request.decimalSeparator) return *request.decimalSeparator;
    std::setlocale(LC_NUMERIC, "");
    return LocaleDecimalSeparator();
}

}  // namespace zemrik::cli
