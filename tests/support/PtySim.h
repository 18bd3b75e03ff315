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

// zemrik-sim as a child process on its pseudo-terminal, and a raw end of a terminal. Every wait
// is a poll with a deadline.
namespace zemrik::test {

struct ChildExit {
    bool exited = false;  // by exit(); otherwise by `signal`
    int code = -1, signal = 0;
    bool Clean() const { return exited && code == 0; }
};

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();  // kills and reaps a child still running
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the emulator and waits for the terminal's path on its first stdout line. Its stdin is
    // a pipe we hold; its stderr goes to `stderrPath` when given. False, with Error(), on failure.
    bool Start(const std::string& simPath, const std::vector<std::string>& args,
               std::chrono::milliseconds timeout = std::chrono::seconds(10),
               const std::string& stderrPath = {});

    const std::string& SlavePath() const { return slavePath_; }
    const std::string& Error() const { return error_; }

    void CloseStdin();
    // A console line for the emulator (sim/Console.h), and its answer: the next stdout line.
    std::optional<std::string> Console(const std::string& line,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool Signal(int sig);
    std::optional<ChildExit> Wait(std::chrono::milliseconds timeout);
    std::optional<ChildExit> Stop(int sig, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    pid_t pid_ = -1;
    int stdinFd_ = -1, stdoutFd_ = -1;
    std::string slavePath_, error_;
    std::optional<ChildExit> exit_;
};

// A non-blocking terminal end: an existing one opened raw, or the master of a new one (OpenNew,
// keeping the kernel's line settings) whose SlavePath the code under test opens.
class RawTerminal {
public:
    RawTerminal() = default;
    ~RawTerminal() { Close(); }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

    bool Open(const std::string& path);
    bool OpenNew();
    void Close();
    int Fd() const { return fd_; }
    const std::string& SlavePath() const { return slavePath_; }

    bool Write(std::span<const std::uint8_t> bytes);
    bool Write(std::initializer_list<std::uint8_t> bytes) { return Write({bytes.begin(), bytes.size()}); }
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
    std::string slavePath_;
};

}  // namespace zemrik::test
