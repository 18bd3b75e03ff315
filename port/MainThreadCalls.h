#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Synchronized calls from worker threads to the main thread. A worker hands over a call and
// blocks until the main thread has run it (or the queue is shut down); the main thread runs
// what is pending from its event loop: the GUI when the notifier tells it to, a command-line
// program from its wait step through WaitAndRunPending. That wait is a poll on an eventfd, so a
// signal delivered to the main thread ends it too (the port's workers block the stop signals).
//
// Threading contract: Call from any thread but the main one; RunPending and WaitAndRunPending
// only from the main thread; Wake, Shutdown and SetNotifier from any thread.
namespace zemrik {

class MainThreadCalls {
public:
    MainThreadCalls();
    MainThreadCalls(const MainThreadCalls&) = delete;
    MainThreadCalls& operator=(const MainThreadCalls&) = delete;
    ~MainThreadCalls();

    // The program's own queue; tests make their own instances.
    static MainThreadCalls& Main();

    // Runs `call` on the main thread and returns true once it has run; false when the queue is
    // (or gets) shut down before the call ran. `alsoNotify`, when given, is told right after the
    // notifier, on the caller's thread (a port rings its data notifier this way).
    bool Call(std::function<void()> call, const std::function<void()>& alsoNotify = {});

    // Runs every call pending now; returns how many ran.
    int RunPending();
    // Waits at most `timeout` for a call, a Wake or a signal, then runs what is pending.
    int WaitAndRunPending(std::chrono::milliseconds timeout);
    // Ends one WaitAndRunPending early (or the next one, if none is waiting). Async-signal-safe.
    void Wake();

    // Releases every waiting worker without running its call; later calls are refused.
    void Shutdown();
    // Told (on the worker's thread) whenever a call is handed over: the GUI posts an event.
    void SetNotifier(std::function<void()> notifier);

private:
    struct Pending {
        std::function<void()> call;
        bool done = false;
    };

    void Ring();

    int wakeFd_ = -1;  // eventfd: rung by Call, Wake and Shutdown
    std::mutex lock_;  // guards everything below
    std::condition_variable callDone_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool shutDown_ = false;
    std::shared_ptr<std::function<void()>> notifier_;
};

}  // namespace zemrik
