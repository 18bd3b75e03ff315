#pragma once

#include <string>
#include <string_view>

#include "sim/InstrumentEmulator.h"

// What the instrument's own keys do to its memory while the program is connected: lines on the
// emulator's standard input change the records it holds, so the program's view of them can go
// stale as it would in the field.
//   delete N        the record numbered N goes; later ones move down
//   add FILE.zmk    the records of a measurement file are measured anew, at the end
// Returns the line to print on stdout (ending in a newline): what was done, or why not.
namespace zemrik {

std::string RunConsoleCommand(std::string_view line, InstrumentEmulator& emulator);

}  // namespace zemrik
