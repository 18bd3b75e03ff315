#include "app/PortSession.h"

#include <QCoreApplication>
#include <functional>

#include "app/Settings.h"
#include "link/SerialDevice.h"

namespace {

constexpr int InstrumentBaud = 28800;
// Longer than any of the protocol's time-outs, so one jump ends whichever wait is running.
constexpr std::uint64_t GoneSkipMs = 3'600'000;

}  // namespace

PortSession::PortSession()
    : port_(nullptr, nullptr, &calls_),
      instrument_(
          port_, [this] { return Ticks(); }, [this](std::uint32_t maxWaitMs) { Pump(maxWaitMs); }) {
    // Bytes arriving end a pump wait at once, so a waiting exchange sleeps instead of polling.
    port_.SetDataNotifier([this] { pump_.Notify(); });
    // A worker's call to the GUI thread arrives as a queued call on the event loop; it also ends
    // a pump wait at once.
    calls_.SetNotifier([this] {
        QMetaObject::invokeMethod(
            &receiver_, [this] { calls_.RunPending(); }, Qt::QueuedConnection);
        pump_.Notify();
    });
}

PortSession::~PortSession() {
    port_.SetOpen(false);
    calls_.SetNotifier({});
}

bool PortSession::OpenCom(int n, QString& reason) {
    reason.clear();
    Close();
    const QString path = DevicePath(n);
    port_.PortNames().SetPath(n, path.toStdString());
    port_.SetComNumber(n);
    port_.SetOpen(true);
    if (!port_.Enabled()) {
        const zemrik::DeviceError error = port_.LastOpenError();
        port_.SetOpen(false);
        reason = QString::fromStdString(zemrik::PortOpenReason(error, path.toStdString()));
        return false;
    }
    // Only the speed changes; a device that refuses it (a pseudo-terminal) still works.
    if (zemrik::SerialDevice* device = port_.Handle()) {
        zemrik::Dcb dcb;
        device->GetState(dcb);
        dcb.BaudRate = InstrumentBaud;
        device->SetState(dcb);
    }
    skippedMs_ = 0;
    return true;
}

void PortSession::SetPortOverride(const QString& path) { override_ = path; }

void PortSession::Close() {
    if (port_.Open() || port_.Enabled()) port_.SetOpen(false);
}

bool PortSession::IsOpen() const { return port_.Enabled(); }

QString PortSession::DevicePath(int n) const { return override_.isEmpty() ? ComDevicePath(n) : override_; }

zemrik::InstrumentCommands& PortSession::Instrument() { return instrument_; }

bool PortSession::ExchangeRunning() const { return instrument_.Busy(); }

// The protocol's clock: the steady clock until the device goes away (an adapter pulled); from
// then on every reading jumps past any deadline, so the exchange under way fails at once.
std::uint64_t PortSession::Ticks() {
    const zemrik::SerialDevice* device = port_.Handle();
    if (device != nullptr && device->IsGone()) skippedMs_ += GoneSkipMs;
    return zemrik::SteadyMilliseconds() + skippedMs_;
}

void PortSession::Pump(std::uint32_t maxWaitMs) {
    // With bytes already waiting the protocol comes straight back for them: handle what is
    // pending and return without sleeping.
    if (maxWaitMs == 0 || port_.GetInBuffUsed() > 0) {
        calls_.RunPending();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    pump_.Wait(maxWaitMs);
}
