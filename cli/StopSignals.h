#pragma once

#include <signal.h>

#include <atomic>
#include <thread>

#include "port/MainThreadCalls.h"

namespace zemrik::cli {

// Takes SIGINT, SIGTERM and SIGHUP synchronously while it lives: they are blocked in this thread
// and every thread started after it, and a watcher thread reads them from a signalfd, notes the
// first and wakes `calls`. When it goes, the process ends by the signal it noted, if any.
class StopSignalWatch {
public:
    explicit StopSignalWatch(MainThreadCalls& calls);
    ~StopSignalWatch();
    StopSignalWatch(const StopSignalWatch&) = delete;
    StopSignalWatch& operator=(const StopSignalWatch&) = delete;

    int Noted() const { return noted_; }

private:
    void Watch();

    MainThreadCalls& calls_;
    sigset_t saved_;  // the mask before
    int signalFd_ = -1;
    int stopFd_ = -1;  // eventfd that ends the watcher
    std::atomic<int> noted_{0};
    std::thread watcher_;
};

}  // namespace zemrik::cli
