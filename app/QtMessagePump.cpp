#include "app/QtMessagePump.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>

QtMessagePump::QtMessagePump() : dispatcher_(QAbstractEventDispatcher::instance()) {}

void QtMessagePump::Wait(std::uint32_t maxWaitMs) {
    // The timer only bounds the sleep: its expiry is an event like any other, and the dispatcher
    // returns after the first round that handled something (or after a wake-up).
    QTimer bound;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    bound.start(static_cast<int>(std::min<std::uint32_t>(maxWaitMs, 0x7fffffff)));
    dispatcher_->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtMessagePump::Notify() { dispatcher_->wakeUp(); }
