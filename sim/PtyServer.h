#pragma once

#include "sim/SimOptions.h"

namespace zemrik {

// Runs the emulator on a new pseudo-terminal until SIGINT, SIGTERM, SIGHUP or the end of stdin.
// Prints the terminal's path as the first line on stdout. Returns the process exit code: 0, 1
// when saving at exit failed, 2 when it could not start.
int RunSimulator(const SimOptions& options);

}  // namespace zemrik
