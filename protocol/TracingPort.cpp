#include "protocol/TracingPort.h"

#include "common/HexDump.h"

#include <cstdlib>
#include <ostream>
#include <string_view>
#include <utility>

namespace zemrik {

TracingPort::TracingPort(InstrumentPort& inner, std::ostream& out, std::string prefix)
    : inner_(inner), out_(out), prefix_(std::move(prefix)) {}

TracingPort::~TracingPort() { Flush(); }

void TracingPort::Line(const char* direction, const std::uint8_t* data, std::size_t count) {
    out_ << HexDumpLines(prefix_ + ' ' + direction, data, count) << std::flush;
}

void TracingPort::Flush() {
    if (pendingCount_ > 0) {
        Line("rx:", pending_, pendingCount_);
        pendingCount_ = 0;
    }
}

void TracingPort::FlushInBuffer() {
    Flush();
    inner_.FlushInBuffer();
}

void TracingPort::FlushOutBuffer() {
    Flush();
    inner_.FlushOutBuffer();
}

int TracingPort::PutChar(std::uint8_t c) {
    Flush();
    Line("tx:", &c, 1);
    return inner_.PutChar(c);
}

int TracingPort::PutBlock(const std::uint8_t* data, int count) {
    Flush();
    if (count > 0) Line("tx:", data, static_cast<std::size_t>(count));
    return inner_.PutBlock(data, count);
}

bool TracingPort::CharReady() {
    bool ready = inner_.CharReady();
    if (!ready) Flush();
    return ready;
}

std::uint8_t TracingPort::GetChar() {
    std::uint8_t c = inner_.GetChar();
    pending_[pendingCount_++] = c;
    if (pendingCount_ == sizeof pending_) Flush();
    return c;
}

bool TraceRequested() {
    const char* value = std::getenv("ZEMRIK_TRACE");
    return value != nullptr && value[0] != '\0' && std::string_view(value) != "0";
}

}  // namespace zemrik
