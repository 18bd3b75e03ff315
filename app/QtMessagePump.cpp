#include "app/QtMessagePump.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>

namespace {

constexpr qint64 PendingIntervalMs = 8;

}  // namespace

QtMessagePump::QtMessagePump() : dispatcher_(QAbstractEventDispatcher::instance()) {
    bound_.setSingleShot(true);
    bound_.setTimerType(Qt::PreciseTimer);
    sinceEvents_.start();
    // A worker's call arrives as a queued call on the event loop; it also ends a wait at once.
    calls_.SetNotifier([this] {
        QMetaObject::invokeMethod(
            &receiver_, [this] { calls_.RunPending(); }, Qt::QueuedConnection);
        Notify();
    });
}

QtMessagePump::~QtMessagePump() { calls_.SetNotifier({}); }

zemrik::WaitStep QtMessagePump::Step() {
    return zemrik::WaitStep{[this](std::uint32_t maxWaitMs) { Wait(maxWaitMs); },
                            [this] { Notify(); },
                            [this] { ProcessPending(); },
                            {}};
}

void QtMessagePump::Wait(std::uint32_t maxWaitMs) {
    // The timer only bounds the sleep: its expiry is an event like any other, and the dispatcher
    // returns after the first round that handled something (or after a wake-up).
    bound_.start(static_cast<int>(std::min<std::uint32_t>(maxWaitMs, 0x7fffffff)));
    dispatcher_->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    bound_.stop();
    sinceEvents_.restart();
}

void QtMessagePump::ProcessPending() {
    if (sinceEvents_.elapsed() < PendingIntervalMs) return;
    dispatcher_->processEvents(QEventLoop::AllEvents);
    sinceEvents_.restart();
}

void QtMessagePump::Notify() { dispatcher_->wakeUp(); }
