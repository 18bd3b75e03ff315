#pragma once

#include <cstdint>

// The byte operations the instrument protocol needs from a serial port. TCommPort implements
// them for a real device; tests use scripted fakes.
namespace zemrik {

class InstrumentPort {
public:
    virtual ~InstrumentPort() = default;
    virtual void FlushInBuffer() = 0;
    virtual void FlushOutBuffer() = 0;
    virtual int PutChar(std::uint8_t c) = 0;
    virtual int PutBlock(const std::uint8_t* data, int count) = 0;
    virtual bool CharReady() = 0;
    virtual std::uint8_t GetChar() = 0;
    // A hint before the protocol waits: it cannot go on before `count` more bytes have come, so
    // a port may let its reader sleep until then instead of waking it for every few bytes.
    virtual void ExpectBytes(int /*count*/) {}
};

}  // namespace zemrik
