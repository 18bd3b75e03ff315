// Line settings to and from the kernel's control flags, which a pseudo-terminal does not keep.
#include <termios.h>

#include <gtest/gtest.h>

#include "port/PortWorkerThreads.h"
#include "port/PosixSerialDevice.h"
#include "port/PosixTermios2.h"

namespace zemrik {
namespace {

TEST(LineSettings, DcbToControlFlagsAndBack) {
    constexpr std::uint32_t kKept = CREAD | CLOCAL | HUPCL;  // left alone; kStale is cleared
    constexpr std::uint32_t kStale = CS5 | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | B9600;
    struct Case {
        Dcb dcb;
        std::uint32_t cflag;        // what the flags must hold besides kKept (speed bits aside)
        std::uint8_t stopBitsBack;  // 1.5 stop bits read back as two
    };
    const Case cases[] = {
        {{28800, DCB_OUTX_CTS_FLOW | DCB_RTS_CONTROL_HANDSHAKE | DCB_DTR_CONTROL_ENABLE, 8, 0, 0},
         CS8 | CRTSCTS,
         0},
        {{19200, DCB_OUTX_CTS_FLOW, 6, 2, 2}, CS6 | PARENB | CSTOPB | CRTSCTS, 2},
        {{110, 0, 5, 3, 1}, CS5 | PARENB | PARODD | CMSPAR | CSTOPB, 2},
        {{256000, DCB_DTR_CONTROL_ENABLE, 8, 4, 0}, CS8 | PARENB | CMSPAR, 0},
        {{1234567, 0, 8, 0, 2}, CS8 | CSTOPB, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dcb.BaudRate);
        const LineWord word = LineWordFromDcb(kKept | kStale, c.dcb);
        EXPECT_EQ(word.speed, c.dcb.BaudRate);
        // Both speed fields (input 16 bits up) say "a speed of its own" (BOTHER, glibc's CBAUDEX).
        constexpr std::uint32_t kSpeeds = CBAUD | (CBAUD << 16);
        EXPECT_EQ(word.cflag & ~kSpeeds, kKept | c.cflag);
        EXPECT_EQ(word.cflag & kSpeeds, static_cast<std::uint32_t>(CBAUDEX | (CBAUDEX << 16)));

        Dcb back;
        back.Flags = 0x1234;
        DcbFromLineWord(word, back);
        EXPECT_EQ(back.BaudRate, c.dcb.BaudRate);
        EXPECT_EQ(back.ByteSize, c.dcb.ByteSize);
        EXPECT_EQ(back.Parity, c.dcb.Parity);
        EXPECT_EQ(back.StopBits, c.stopBitsBack);
        EXPECT_EQ(back.Flags, 0x1234u);
    }
}

TEST(LineSettings, CountersBecomeEvents) {
    const LineCounters base{5, 6, 7, 8, 9, 10};
    struct Case {
        std::uint32_t LineCounters::*counter;
        std::uint32_t event;
    };
    const Case cases[] = {{&LineCounters::cts, EV_CTS},      {&LineCounters::dsr, EV_DSR},
                          {&LineCounters::ring, EV_RING},    {&LineCounters::dcd, EV_RLSD},
                          {&LineCounters::breaks, EV_BREAK}, {&LineCounters::errors, EV_ERR}};
    EXPECT_EQ(EventsFromCounters(base, base), 0u);
    for (const Case& c : cases) {
        LineCounters after = base;
        after.*c.counter += 2;  // a pulse: the line went and came back between two looks
        EXPECT_EQ(EventsFromCounters(base, after), c.event);
    }
    LineCounters wrapped = base;
    wrapped.breaks = 0;
    wrapped.cts = 0xFFFFFFFF;
    EXPECT_EQ(EventsFromCounters(base, wrapped), EV_BREAK | EV_CTS);
}

// The status thread's pause while a long reply comes in ends before the missing bytes can all be
// there, so it never delays the end of a reply; it is short, so line events still come through.
TEST(LineSettings, GatherPauseStaysWithinTheMissingBytesLineTime) {
    EXPECT_EQ(ByteMicros(Dcb{28800, 0, 8, 0, 0}), 347);  // 10 bits a byte
    EXPECT_EQ(ByteMicros(Dcb{9600, 0, 7, 2, 1}), 1145);  // 7 data, parity, 1.5 stop: 11 bits
    EXPECT_EQ(ByteMicros(Dcb{0, 0, 8, 0, 0}), 0);
    using std::chrono::milliseconds;
    for (int missing : {-5, 0, 1, 2, 10, 57, 257, 2048}) {
        for (int byteMicros : {0, 39, 347, 1145}) {
            const milliseconds pause = GatherPause(missing, byteMicros);
            EXPECT_LE(pause, milliseconds(20));
            EXPECT_LE(pause.count() * 1000, std::max(missing, 0) * static_cast<std::int64_t>(byteMicros) / 2);
            if (missing <= 1 || byteMicros == 0) {
                EXPECT_EQ(pause.count(), 0);
            }
        }
    }
    EXPECT_EQ(GatherPause(57, 347), milliseconds(9));
    EXPECT_EQ(GatherPause(257, 347), milliseconds(20));
}

}  // namespace
}  // namespace zemrik
