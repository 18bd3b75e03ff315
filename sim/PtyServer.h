#pragma once

#include <string>

#include "sim/SimOptions.h"

namespace zemrik {

// Runs the emulator on a new pseudo-terminal until SIGINT, SIGTERM, SIGHUP or the end of stdin.
// Prints the terminal's path as the first line on stdout. Returns the process exit code: 0, 1
// when saving at exit failed, 2 when it could not start.
int RunSimulator(const SimOptions& options);

// Whether `linkPath` is a symlink an emulator made and left behind (it did not end cleanly): one
// pointing at a pseudo-terminal that is gone. --link replaces such a link and nothing else.
bool LeftByAnEmulator(const std::string& linkPath);

}  // namespace zemrik
