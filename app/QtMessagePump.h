#pragma once

#include <cstdint>

class QAbstractEventDispatcher;

// The protocol's wait step in the window program: runs the Qt event loop, sleeping until an
// event arrives, Notify is called or the time is up, so the window repaints during an exchange
// and a waiting exchange costs no processor time.
//
// Threading contract: Wait on the GUI thread only; Notify from any thread.
class QtMessagePump {
public:
    // Made on the GUI thread, after the application object.
    QtMessagePump();

    // Processes events, blocking at most `maxWaitMs` for the first one.
    void Wait(std::uint32_t maxWaitMs);
    // Ends a running Wait early, or the next one when none runs.
    void Notify();

private:
    QAbstractEventDispatcher* dispatcher_;  // the GUI thread's
};
