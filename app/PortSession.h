#pragma once

#include <QObject>
#include <QString>

#include "app/QtMessagePump.h"
#include "link/InstrumentCommands.h"
#include "link/InstrumentConnection.h"
#include "link/MainThreadCalls.h"

// The main window's serial port, the instrument protocol on it and the wait step that keeps
// the window alive while an exchange waits. The port's worker threads hand their calls to the
// GUI thread through the event loop.
class PortSession {
public:
    PortSession();
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Closes the port if open, opens COM n (or the --port device) and switches it to 28800
    // bit/s. On failure the port stays closed and `reason` says why, in Russian.
    bool OpenCom(int n, QString& reason);
    // Every later OpenCom opens `path` whatever the number (zemrik --port PATH); not stored.
    void SetPortOverride(const QString& path);
    bool HasPortOverride() const { return !override_.isEmpty(); }
    void Close() { connection_.Close(); }
    bool IsOpen() const { return connection_.IsOpen(); }
    // The device path the port has or would have for COM n.
    QString DevicePath(int n) const;

    zemrik::InstrumentCommands& Instrument() { return connection_.Device(); }

private:
    QObject receiver_;  // lives on the GUI thread; the workers' calls are queued to it
    QtMessagePump pump_;
    zemrik::MainThreadCalls calls_;
    zemrik::InstrumentConnection connection_;
    QString override_;
};
