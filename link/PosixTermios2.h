#pragma once

// Line speeds through the kernel's termios2 interface, which takes any speed (28800 among them)
// where the classic termios only knows the B-constants. Kept apart because <asm/termbits.h>
// clashes with glibc's <termios.h>; this header includes neither.
namespace zemrik {

// Sets both directions to `baud` bit/s. False (errno set) if the driver refuses.
bool SetCustomBaud(int fd, unsigned baud);
// The output speed in bit/s. False (errno set) if it cannot be read.
bool GetCustomBaud(int fd, unsigned* baud);

}  // namespace zemrik
