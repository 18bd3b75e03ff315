#pragma once

#include <signal.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "Commands.h"
#include "link/InstrumentConnection.h"
#include "link/MainThreadCalls.h"

// The instrument as the command-line tool reaches it: the serial port opened the way the main
// window opens it at start-up, and the protocol talking through it. Everything runs on the
// thread that made the link; the port's workers reach it through MainThreadCalls::Main().
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

class InstrumentLink {
public:
    InstrumentLink();
    // Closes the port, which ends its worker threads. A stop signal (SIGINT, SIGTERM, SIGHUP)
    // that came while the link was alive ends the process here, once the port is closed.
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink&) = delete;
    InstrumentLink& operator=(const InstrumentLink&) = delete;

    // Opens the port chosen by `--port` and switches it to 28800 bit/s. On failure the caller
    // reports the result, which says why.
    DeviceError Open(const PortChoice& choice) { return connection_.Open(choice.comNumber, choice.path); }

    Instrument& Device() { return connection_.Device(); }

private:
    MainThreadCalls& calls_;
    StopSignalWatch stops_;  // before the port, whose workers must start with the signals blocked
    // A stop signal counts as a device gone: the exchange under way fails at once.
    InstrumentConnection connection_;
};

// The commands' way to the instrument in the program: the link, made when a command first needs
// it. Close ends the link, and with it the program when a stop signal came meanwhile.
class PortAccess : public InstrumentAccess {
public:
    explicit PortAccess(PortChoice port) : port_(std::move(port)) {}
    InstrumentCommands* Open(Report& report) override;
    void Close() override { link_.reset(); }

private:
    PortChoice port_;
    std::unique_ptr<InstrumentLink> link_;
};

}  // namespace zemrik::cli
