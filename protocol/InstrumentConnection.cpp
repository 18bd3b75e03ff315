#include "protocol/InstrumentConnection.h"

#include <utility>

namespace zemrik {

namespace {

// Longer than any of the protocol's time-outs, so one jump ends whichever wait is running.
constexpr std::uint64_t GoneSkipMs = 3'600'000;

}  // namespace

InstrumentConnection::InstrumentConnection(MainThreadCalls& calls, WaitStep step)
    : calls_(calls),
      step_(std::move(step)),
      port_(nullptr, nullptr, &calls_),
      instrument_(
          port_, [this] { return Ticks(); }, [this](std::uint32_t maxWaitMs) { Pump(maxWaitMs); }) {
    // Bytes, a worker's call and a vanished device end the wait at once, so a waiting exchange
    // sleeps instead of polling.
    port_.SetDataNotifier(step_.wake);
}

InstrumentConnection::~InstrumentConnection() { Close(); }

DeviceError InstrumentConnection::Open(int comNumber, const std::string& path) {
    Close();
    port_.PortNames().SetPath(comNumber, path);
    port_.SetComNumber(comNumber);
    port_.SetOpen(true);
    if (!port_.Enabled()) {
        const DeviceError error = port_.LastOpenError();
        port_.SetOpen(false);
        return error == DeviceError::None ? DeviceError::Other : error;
    }
    // Only the speed changes: the rest of the line stays as the open sequence set it.
    port_.SetLineSpeed(InstrumentBaud);
    skippedMs_ = 0;
    return DeviceError::None;
}

void InstrumentConnection::Close() {
    if (port_.Open() || port_.Enabled()) port_.SetOpen(false);
}

bool InstrumentConnection::DeviceGone() const {
    const SerialDevice* device = port_.Handle();
    return device != nullptr && device->IsGone();
}

void InstrumentConnection::SetOnDeviceGone(std::function<void()> handler) {
    if (!handler) {
        port_.SetOnDeviceGone(nullptr);
        return;
    }
    port_.SetOnDeviceGone([handler = std::move(handler)](TObject*) { handler(); });
}

std::uint64_t InstrumentConnection::Ticks() {
    const SerialDevice* device = port_.Handle();
    if ((device != nullptr && device->IsGone()) || (step_.stopRequested && step_.stopRequested()))
        skippedMs_ += GoneSkipMs;
    return SteadyMilliseconds() + skippedMs_;
}

void InstrumentConnection::Pump(std::uint32_t maxWaitMs) {
    // With bytes already waiting (or the exchange about to end) the protocol comes straight back:
    // handle what is pending and return without sleeping.
    if (maxWaitMs == 0 || port_.GetInBuffUsed() > 0 || (step_.stopRequested && step_.stopRequested())) {
        calls_.RunPending();
        if (step_.serve) step_.serve();
        return;
    }
    step_.wait(maxWaitMs);
}

}  // namespace zemrik
