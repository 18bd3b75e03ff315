#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The serial device under TCommPort: the handful of driver operations the port and its worker
// threads need, in the shape of the Windows communications calls the port was designed around,
// so the port logic stays the same on every platform. PosixSerialDevice is the Linux one; tests
// use a scripted fake.
//
// Threading contract: Open, Close, GetState, SetState, SetQueueSizes, SetTimeouts, Purge,
// Escape and SetEventMask come from the main thread. While the device is open, the status
// thread calls WaitEvent, GetModemStatus and Read, the read thread Read, the write thread
// QueueCounts and Write; CancelWait, CancelWrite, ResumeWrites, IsGone and
// GetModemStatus may come from any thread. Close is called only after every worker has ended.
namespace zemrik {

enum class DeviceError { None, NotFound, Permission, Busy, Gone, Other };

inline constexpr const char* PortOpenErrorText = "Ошибка открытия COM порта!";
// Why a port did not open, in Russian, for the line under "Ошибка открытия COM порта!" (the
// main window's message box and zemrik-cli alike); a permission refusal names the dialout group.
std::string PortOpenReason(DeviceError error, std::string_view path);

// Communication-event bits (the event mask of SetEventMask and WaitEvent).
inline constexpr std::uint32_t EV_RXCHAR = 0x01;
inline constexpr std::uint32_t EV_RXFLAG = 0x02;
inline constexpr std::uint32_t EV_TXEMPTY = 0x04;
inline constexpr std::uint32_t EV_CTS = 0x08;
inline constexpr std::uint32_t EV_DSR = 0x10;
inline constexpr std::uint32_t EV_RLSD = 0x20;
inline constexpr std::uint32_t EV_BREAK = 0x40;
inline constexpr std::uint32_t EV_ERR = 0x80;
inline constexpr std::uint32_t EV_RING = 0x100;

// Input-line bits of GetModemStatus.
inline constexpr std::uint32_t MS_CTS_ON = 0x10;
inline constexpr std::uint32_t MS_DSR_ON = 0x20;
inline constexpr std::uint32_t MS_RING_ON = 0x40;
inline constexpr std::uint32_t MS_RLSD_ON = 0x80;

// Escape codes of Escape.
inline constexpr int SETRTS = 3;
inline constexpr int CLRRTS = 4;
inline constexpr int SETDTR = 5;
inline constexpr int CLRDTR = 6;
inline constexpr int SETBREAK = 8;
inline constexpr int CLRBREAK = 9;

// Members of the device-control block's flag word that a POSIX line can honour.
inline constexpr std::uint32_t DCB_OUTX_CTS_FLOW = 0x0004;
inline constexpr std::uint32_t DCB_DTR_CONTROL_MASK = 0x0030;
inline constexpr std::uint32_t DCB_DTR_CONTROL_ENABLE = 0x0010;
inline constexpr std::uint32_t DCB_RTS_CONTROL_MASK = 0x3000;
inline constexpr std::uint32_t DCB_RTS_CONTROL_HANDSHAKE = 0x2000;

// Line settings. Parity and StopBits carry the DCB codes (0 none/1 odd/2 even/3 mark/4 space;
// 0 one, 1 one and a half, 2 two stop bits).
struct Dcb {
    std::uint32_t BaudRate = 9600;
    std::uint32_t Flags = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device exclusively. Anything but None leaves the device closed.
    virtual DeviceError Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The error code (errno) of the last failed call since Open began; 0 when none failed.
    virtual int LastError() const = 0;

    virtual bool SetQueueSizes(int inSize, int outSize) = 0;
    // Every time-out zero: a read takes what is queued and returns.
    virtual bool SetTimeouts() = 0;
    virtual bool GetState(Dcb& dcb) = 0;
    virtual bool SetState(const Dcb& dcb) = 0;

    // Which events end a wait. A mask of 0 also ends a wait in progress.
    virtual bool SetEventMask(std::uint32_t mask) = 0;
    // Blocks until an event of the mask occurs (true, `mask` = what occurred) or the wait is
    // cancelled (true, `mask` = 0). False at once when no mask is set or the device is closed.
    virtual bool WaitEvent(std::uint32_t& mask) = 0;
    virtual void CancelWait() = 0;

    virtual bool QueueCounts(int& inQueue, int& outQueue) = 0;
    // Bytes moved, never more than count; -1 on failure. Read takes only what is queued.
    virtual int Read(std::uint8_t* buffer, int count) = 0;
    // Waits for room when the driver takes nothing, until CancelWrite ends the wait.
    virtual int Write(const std::uint8_t* data, int count) = 0;
    // Ends a Write in progress, and makes every later Write fail at once until ResumeWrites or
    // the next Open, so neither a flush nor a close waits on a line that flow control holds.
    virtual void CancelWrite() = 0;
    virtual void ResumeWrites() = 0;
    virtual bool Purge(bool rx, bool tx) = 0;

    virtual bool GetModemStatus(std::uint32_t& bits) = 0;
    virtual bool Escape(int code) = 0;
    // The device went away (adapter pulled, the other end of a pseudo-terminal closed).
    virtual bool IsGone() const = 0;
};

}  // namespace zemrik
