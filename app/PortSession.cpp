#include "app/PortSession.h"

#include "app/Settings.h"
#include "link/SerialDevice.h"

PortSession::PortSession()
    : connection_(calls_, zemrik::WaitStep{[this](std::uint32_t maxWaitMs) { pump_.Wait(maxWaitMs); },
                                           [this] { pump_.Notify(); }, [this] { pump_.ProcessPending(); },
                                           {}}) {
    // A worker's call to the GUI thread arrives as a queued call on the event loop; it also ends
    // a pump wait at once.
    calls_.SetNotifier([this] {
        QMetaObject::invokeMethod(
            &receiver_, [this] { calls_.RunPending(); }, Qt::QueuedConnection);
        pump_.Notify();
    });
}

PortSession::~PortSession() {
    connection_.Close();
    calls_.SetNotifier({});
}

bool PortSession::OpenCom(int n, QString& reason) {
    reason.clear();
    const QString path = DevicePath(n);
    const zemrik::DeviceError error = connection_.Open(n, path.toStdString());
    if (error != zemrik::DeviceError::None) {
        reason = QString::fromStdString(zemrik::PortOpenReason(error, path.toStdString()));
        return false;
    }
    return true;
}

void PortSession::SetPortOverride(const QString& path) { override_ = path; }

QString PortSession::DevicePath(int n) const { return override_.isEmpty() ? ComDevicePath(n) : override_; }
