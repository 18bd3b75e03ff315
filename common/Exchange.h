#pragma once

// How the window logic marks an exchange with the instrument, alike in both windows. An exchange
// runs window events inside its byte waits, so everything that could start a second exchange or
// change the data under it checks the owner's busy state first.
namespace zemrik {

// Told when an exchange runs, so a window can show that it waits and disable its commands. Calls
// come on the thread that runs the command, from inside it.
class ExchangeObserver {
public:
    virtual ~ExchangeObserver() = default;
    // An exchange begins: the owner is busy from here until ExchangeEnded.
    virtual void ExchangeStarted() {}
    // The exchange is over, successfully or not; any message about it comes after this.
    virtual void ExchangeEnded() {}
};

// One exchange: `busy` holds and `observer` knows, until End() or the end of the scope,
// whichever comes first. Messages about the exchange are shown after End(), so no message box
// ever waits inside an exchange.
class ExchangeScope {
public:
    ExchangeScope(bool& busy, ExchangeObserver* observer) : busy_(busy), observer_(observer) {
        busy_ = true;
        if (observer_ != nullptr) observer_->ExchangeStarted();
    }
    ~ExchangeScope() { End(); }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

    void End() {
        if (!running_) return;
        running_ = false;
        busy_ = false;
        if (observer_ != nullptr) observer_->ExchangeEnded();
    }

private:
    bool& busy_;
    ExchangeObserver* observer_;
    bool running_ = true;
};

}  // namespace zemrik
