#pragma once

#include <cstdint>

#include "port/SerialDevice.h"

// Line settings through the kernel's termios2 interface, which takes any speed (28800 among them)
// where the classic termios only knows the B-constants, and sets flags and speed in one call.
// Kept apart because <asm/termbits.h> clashes with glibc's <termios.h>; this header includes
// neither.
namespace zemrik {

// The part of a line's settings the port governs: the control flags and the speed.
struct LineWord {
    std::uint32_t cflag = 0;
    std::uint32_t speed = 0;  // bit/s, both directions
};

// `dcb`'s data bits, parity (mark and space too), stop bits, RTS/CTS handshake and speed laid
// over `oldCflag`, whose other bits stay. A request for one and a half stop bits gives two.
LineWord LineWordFromDcb(std::uint32_t oldCflag, const Dcb& dcb);
// The other way: ByteSize, Parity, StopBits and BaudRate of `dcb` (its Flags stay as they are).
void DcbFromLineWord(const LineWord& word, Dcb& dcb);

// False (errno set) if the driver refuses. SetLineWord changes everything or nothing.
bool GetLineWord(int fd, LineWord& word);
bool SetLineWord(int fd, const LineWord& word);

}  // namespace zemrik
