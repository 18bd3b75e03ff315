#include "port/MainThreadCalls.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace zemrik {

MainThreadCalls::MainThreadCalls() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

MainThreadCalls::~MainThreadCalls() {
    Shutdown();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void MainThreadCalls::Ring() {
    std::uint64_t one = 1;
    // A full counter already means "rung".
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
}

MainThreadCalls& MainThreadCalls::Main() {
    static MainThreadCalls calls;
    return calls;
}

bool MainThreadCalls::Call(std::function<void()> call, const std::function<void()>& alsoNotify) {
    auto pending = std::make_shared<Pending>();
    pending->call = std::move(call);
    std::shared_ptr<std::function<void()>> notifier;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (shutDown_) return false;
        queue_.push_back(pending);
        notifier = notifier_;
    }
    Ring();
    if (notifier && *notifier) (*notifier)();
    if (alsoNotify) alsoNotify();
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
    bool idle = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        idle = queue_.empty() && !shutDown_;
    }
    if (idle && timeout.count() > 0) {
        // A Wake or Call since the last wait left the counter set, so none is lost.
        pollfd wake{wakeFd_, POLLIN, 0};
        const auto ms = std::min<std::chrono::milliseconds::rep>(timeout.count(), 24 * 3600 * 1000);
        ::poll(&wake, 1, static_cast<int>(ms));  // EINTR: a signal came, which ends the wait too
    }
    std::uint64_t count = 0;
    [[maybe_unused]] auto got = ::read(wakeFd_, &count, sizeof count);
    return RunPending();
}

void MainThreadCalls::Wake() { Ring(); }

void MainThreadCalls::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        shutDown_ = true;
        queue_.clear();
    }
    Ring();
    callDone_.notify_all();
}

void MainThreadCalls::SetNotifier(std::function<void()> notifier) {
    auto shared = std::make_shared<std::function<void()>>(std::move(notifier));
    std::lock_guard<std::mutex> guard(lock_);
    notifier_ = std::move(shared);
}

}  // namespace zemrik
