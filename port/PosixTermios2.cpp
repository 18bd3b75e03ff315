#include "port/PosixTermios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace zemrik {

namespace {

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
constexpr tcflag_t kSpeedBits = CBAUD | (CBAUD << IBSHIFT);

}  // namespace

LineWord LineWordFromDcb(std::uint32_t oldCflag, const Dcb& dcb) {
    tcflag_t cflag = oldCflag;
    cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | kSpeedBits);
    cflag |= kSizes[dcb.ByteSize >= 5 && dcb.ByteSize <= 8 ? dcb.ByteSize - 5 : 3];
    switch (dcb.Parity) {
        case 1:
            cflag |= PARENB | PARODD;
            break;
        case 2:
            cflag |= PARENB;
            break;
        case 3:
            cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // Linux has no one-and-a-half stop bits; two is the nearest a receiver tolerates.
    if (dcb.StopBits != 0) cflag |= CSTOPB;
    const bool handshake = (dcb.Flags & DCB_OUTX_CTS_FLOW) != 0 ||
                           (dcb.Flags & DCB_RTS_CONTROL_MASK) == DCB_RTS_CONTROL_HANDSHAKE;
    if (handshake) cflag |= CRTSCTS;
    cflag |= BOTHER | (BOTHER << IBSHIFT);
    return {cflag, dcb.BaudRate};
}

void DcbFromLineWord(const LineWord& word, Dcb& dcb) {
    const tcflag_t cflag = word.cflag;
    dcb.BaudRate = word.speed;
    dcb.ByteSize = 8;
    for (std::uint8_t bits = 5; bits <= 8; ++bits) {
        if ((cflag & CSIZE) == kSizes[bits - 5]) dcb.ByteSize = bits;
    }
    if (!(cflag & PARENB)) {
        dcb.Parity = 0;
    } else if (cflag & CMSPAR) {
        dcb.Parity = (cflag & PARODD) ? 3 : 4;
    } else {
        dcb.Parity = (cflag & PARODD) ? 1 : 2;
    }
    dcb.StopBits = (cflag & CSTOPB) ? 2 : 0;
}

bool GetLineWord(int fd, LineWord& word) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    word = {tio.c_cflag, tio.c_ospeed};
    return true;
}

bool SetLineWord(int fd, const LineWord& word) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag = word.cflag;
    tio.c_ospeed = word.speed;
    tio.c_ispeed = word.speed;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace zemrik
