#include "cli/PortAccess.h"

#include <chrono>

#include "port/SerialDevice.h"

namespace zemrik::cli {

InstrumentRecords* PortAccess::Open(Report& report) {
    Close();
    stops_.emplace(calls_);
    connection_.emplace(calls_, WaitStep{[this](std::uint32_t maxWaitMs) {
                                             calls_.WaitAndRunPending(std::chrono::milliseconds(maxWaitMs));
                                         },
                                         // Bytes, a worker's call, a vanished device and a stop
                                         // signal end the wait.
                                         [this] { calls_.Wake(); },
                                         {},
                                         // A stop signal counts as a device gone: the exchange
                                         // under way fails at once.
                                         [this] { return stops_->Noted() != 0; }});
    const DeviceError error = connection_->Open(port_.comNumber, port_.path);
    if (error != DeviceError::None) {
        report.Error(PortOpenErrorText);
        report.Error(PortOpenReason(error, port_.path));
        Close();
        return nullptr;
    }
    return &connection_->Device();
}

InstrumentCables* PortAccess::OpenCables(Report& report) {
    return Open(report) != nullptr ? &connection_->Device() : nullptr;
}

void PortAccess::Close() {
    connection_.reset();
    stops_.reset();
}

}  // namespace zemrik::cli
