#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

#include "port/InstrumentPort.h"

// Wraps an InstrumentPort and prints every byte that passes, as hex: "tx:" lines for what is
// queued, "rx:" lines for what is taken. Received bytes are gathered into one line until the
// line is idle (CharReady says no), the direction changes or 16 bytes are on it.
namespace zemrik {

class TracingPort : public InstrumentPort {
public:
    TracingPort(InstrumentPort& inner, std::ostream& out, std::string prefix = "zemrik");
    ~TracingPort() override;

    void FlushInBuffer() override;
    void FlushOutBuffer() override;
    int PutChar(std::uint8_t c) override;
    int PutBlock(const std::uint8_t* data, int count) override;
    bool CharReady() override;
    std::uint8_t GetChar() override;
    void ExpectBytes(int count) override { inner_.ExpectBytes(count); }

    // Writes out the received bytes still gathered.
    void Flush();

private:
    void Line(const char* direction, const std::uint8_t* data, std::size_t count);

    InstrumentPort& inner_;
    std::ostream& out_;
    std::string prefix_;
    std::uint8_t pending_[16] = {};
    std::size_t pendingCount_ = 0;
};

// True when ZEMRIK_TRACE is set to something other than "" or "0".
bool TraceRequested();

}  // namespace zemrik
