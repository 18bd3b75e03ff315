#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

// zemrik-sim as a child process for tests that need a real pseudo-terminal, and a raw client end
// of that terminal. Nothing here sleeps: every wait is a poll with a deadline.
namespace zemrik::test {

struct ChildExit {
    bool exited = false;  // ended by exit(); otherwise by `signal`
    int code = -1;
    int signal = 0;
    bool Clean() const { return exited && code == 0; }
};

class SimProcess {
public:
    SimProcess() = default;
    // Kills the child if it still runs and reaps it.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the emulator with `args` and waits up to `timeout` for the terminal's path on the
    // first line of its stdout. Its stdin is a pipe we hold (see CloseStdin). Its stderr goes to
    // `stderrPath` when given, else to ours. False, with Error(), when it did not come up.
    bool Start(const std::string& simPath, const std::vector<std::string>& args,
               std::chrono::milliseconds timeout = std::chrono::seconds(10),
               const std::string& stderrPath = {});

    const std::string& SlavePath() const { return slavePath_; }
    const std::string& Error() const { return error_; }

    void CloseStdin();
    bool Signal(int sig);
    // Waits up to `timeout` for the child to end; nullopt if it is still running.
    std::optional<ChildExit> Wait(std::chrono::milliseconds timeout);
    // Sends `sig` and waits for the end.
    std::optional<ChildExit> Stop(int sig, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int stdoutFd_ = -1;
    std::string slavePath_;
    std::string error_;
    std::optional<ChildExit> exit_;
};

// One end of a terminal, non-blocking: the program's end of an existing one opened raw, or the
// controlling end of a new one whose other end (SlavePath) the code under test opens.
class RawTerminal {
public:
    RawTerminal() = default;
    ~RawTerminal() { Close(); }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    bool Open(const std::string& path);
    // The new terminal keeps the kernel's line settings (output "\n" becomes "\r\n").
    bool OpenNew();
    void Close();
    int Fd() const { return fd_; }
    const std::string& SlavePath() const { return slavePath_; }

    bool Write(std::span<const std::uint8_t> bytes);
    bool Write(std::initializer_list<std::uint8_t> bytes) { return Write({bytes.begin(), bytes.size()}); }
    // Reads until `count` bytes came or `timeout` passed; returns what came.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
    std::string slavePath_;
};

}  // namespace zemrik::test
