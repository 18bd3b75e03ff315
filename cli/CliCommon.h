#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CliOptions.h"

// What every zemrik-cli command shares: exit codes, checked output, text alignment and the
// decimal separator.
namespace zemrik::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;  // the job could not be done (file unreadable, output lost)
inline constexpr int ExitUsage = 2;    // the command line itself is wrong

// Writes all of text to stdout and flushes it. On failure (stdout closed, disk full) prints why
// on stderr and returns false, so the caller can exit non-zero instead of claiming success.
bool WriteStdout(std::string_view text);

// Writes text to stderr (best effort: there is nowhere left to report a failure).
void WriteStderr(std::string_view text);

// Columns a UTF-8 text takes in a terminal; every character here is one column wide.
std::size_t DisplayWidth(std::string_view utf8);

// text followed by blanks up to `width` columns (never cut).
std::string PadRight(std::string_view utf8, std::size_t width);

// A name from a file made fit for a terminal: control characters (a tab, a line break, an
// escape sequence from a damaged or hostile file) become '?'. JSON escapes them instead.
std::string PrintableText(std::string text);

// Drops trailing blanks, so lines with an empty value end cleanly.
std::string TrimRight(std::string text);

// The record indices of `--records 0,2,5` in list order, each once, as the main window takes
// the selected lines of its list from first to last. nullopt for an index outside the file.
std::optional<std::vector<int>> RecordSelection(const std::vector<unsigned>& given, int count);
// The usage error for such an index, for stderr.
std::string RecordSelectionError(int count);

// The separator for numbers: the --decimal-separator option when given, else the one of the
// user's locale.
std::string DecimalSeparator(const CliRequest& request);

}  // namespace zemrik::cli
