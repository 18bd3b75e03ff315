#include "link/MainThreadCalls.h"

#include <utility>

namespace zemrik {

MainThreadCalls::~MainThreadCalls() { Shutdown(); }

MainThreadCalls& MainThreadCalls::Main() {
    static MainThreadCalls calls;
    return calls;
}

bool MainThreadCalls::Call(std::function<void()> call) {
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(call);
    std::shared_ptr<std::function<void()>> notifier;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (shutDown_) return false;
        queue_.push_back(pending);
        notifier = notifier_;
    }
    mainWake_.notify_all();
    if (notifier && *notifier) (*notifier)();
    std::unique_lock<std::mutex> guard(lock_);
    callDone_.wait(guard, [&] { return pending->done || shutDown_; });
    return pending->done;
}

int MainThreadCalls::RunPending() {
    std::deque<std::shared_ptr<Pending>> batch;
    {
        std::lock_guard<std::mutex> guard(lock_);
        batch.swap(queue_);
    }
    for (auto& pending : batch) {
        // A handler's exception must not cross the event loop, nor leave its worker blocked.
        try {
            pending->call();
        } catch (...) {
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            pending->done = true;
        }
        callDone_.notify_all();
    }
    return static_cast<int>(batch.size());
}

int MainThreadCalls::WaitAndRunPending(std::chrono::milliseconds timeout) {
    {
        std::unique_lock<std::mutex> guard(lock_);
        mainWake_.wait_for(guard, timeout, [&] { return woken_ || !queue_.empty() || shutDown_; });
        woken_ = false;
    }
    return RunPending();
}

void MainThreadCalls::Wake() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        woken_ = true;
    }
    mainWake_.notify_all();
}

void MainThreadCalls::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        shutDown_ = true;
        queue_.clear();
    }
    mainWake_.notify_all();
    callDone_.notify_all();
}

void MainThreadCalls::SetNotifier(std::function<void()> notifier) {
    auto shared = std::make_shared<std::function<void()>>(std::move(notifier));
    std::lock_guard<std::mutex> guard(lock_);
    notifier_ = std::move(shared);
}

}  // namespace zemrik
