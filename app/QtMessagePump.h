#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>

#include "port/MainThreadCalls.h"
#include "protocol/InstrumentConnection.h"

class QAbstractEventDispatcher;

// The window program's side of an instrument exchange: the wait step runs the Qt event loop,
// sleeping until an event arrives, Notify is called or the time is up, so the window repaints
// during an exchange and a waiting exchange costs no processor time; and the port's worker
// threads hand their calls to the GUI thread as queued events.
//
// Threading contract: made, used and destroyed on the GUI thread, after the application object;
// Notify from any thread.
class QtMessagePump {
public:
    QtMessagePump();
    ~QtMessagePump();
    QtMessagePump(const QtMessagePump&) = delete;
    QtMessagePump& operator=(const QtMessagePump&) = delete;

    // Processes events, blocking at most `maxWaitMs` for the first one.
    void Wait(std::uint32_t maxWaitMs);
    // Processes what is pending without blocking, at most every few milliseconds: between bytes
    // that are already there, the window needs no more to stay responsive.
    void ProcessPending();
    // Ends a running Wait early, or the next one when none runs.
    void Notify();

    // The queue the port's workers reach the GUI thread through, and the wait step of an
    // instrument connection made with it.
    zemrik::MainThreadCalls& Calls() { return calls_; }
    zemrik::WaitStep Step();

private:
    QAbstractEventDispatcher* dispatcher_;  // the GUI thread's
    QTimer bound_;                          // ends a Wait that nothing else ends
    QElapsedTimer sinceEvents_;             // since events were last processed
    QObject receiver_;                      // the workers' calls are queued to it
    zemrik::MainThreadCalls calls_;
};
