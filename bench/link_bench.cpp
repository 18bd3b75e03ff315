// zemrik-link-bench: how close a Get of a full instrument comes to the line's own speed.
//
// Starts zemrik-sim pacing its replies at 28800 bit/s with 200 records, reads them all through
// TCommPort and Instrument in this process, and prints the wall time, the time the line itself
// needs for the same bytes (10 bits a byte, both directions, handshakes included), their ratio,
// and the processor time this process used for it.
//
//   zemrik-link-bench [--sim PATH] [--records N] [--baud N]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"
#include "port/CommPort.h"
#include "port/InstrumentPort.h"
#include "port/MainThreadCalls.h"
#include "protocol/InstrumentProtocol.h"

extern char** environ;

namespace {

using namespace zemrik;
using Clock = std::chrono::steady_clock;

struct Options {
    std::string simPath;
    int records = MeasurementList::Capacity;
    std::uint32_t baud = 28800;
};

// Counts the bytes that cross the line in each direction on their way through the port.
class CountingPort : public InstrumentPort {
public:
    explicit CountingPort(InstrumentPort& inner) : inner_(inner) {}
    void FlushInBuffer() override { inner_.FlushInBuffer(); }
    void FlushOutBuffer() override { inner_.FlushOutBuffer(); }
    int PutChar(std::uint8_t c) override {
        int n = inner_.PutChar(c);
        sent += static_cast<std::uint64_t>(n > 0 ? n : 0);
        return n;
    }
    int PutBlock(const std::uint8_t* data, int count) override {
        int n = inner_.PutBlock(data, count);
        sent += static_cast<std::uint64_t>(n > 0 ? n : 0);
        return n;
    }
    bool CharReady() override { return inner_.CharReady(); }
    std::uint8_t GetChar() override {
        ++received;
        return inner_.GetChar();
    }
    void ExpectBytes(int count) override { inner_.ExpectBytes(count); }

    std::uint64_t sent = 0;
    std::uint64_t received = 0;

private:
    InstrumentPort& inner_;
};

// The emulator as a child process; killed and reaped when this goes.
class Simulator {
public:
    ~Simulator() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // Starts it and waits (at most 10 s) for the terminal path it prints first.
    bool Start(const std::string& simPath, const std::vector<std::string>& args, std::string& error) {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) return Fail("pipe", error);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        std::vector<std::string> argv{simPath};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (std::string& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        int rc = ::posix_spawn(&pid_, simPath.c_str(), &actions, nullptr, cargv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out_ = pipeFds[0];
        if (rc != 0) {
            pid_ = -1;
            error = "cannot start " + simPath;
            return false;
        }
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        std::string line;
        while (line.find('\n') == std::string::npos) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) return Fail("no terminal path from zemrik-sim", error);
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return Fail("poll", error);
            char buffer[256];
            ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n == 0) return Fail("zemrik-sim ended before it was ready", error);
            if (n > 0) line.append(buffer, static_cast<std::size_t>(n));
        }
        path_ = line.substr(0, line.find('\n'));
        return true;
    }

    const std::string& Path() const { return path_; }

private:
    static bool Fail(const std::string& what, std::string& error) {
        error = what;
        return false;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    std::string path_;
};

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string DefaultSimPath() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "zemrik-sim";
    return (self.parent_path().parent_path() / "sim" / "zemrik-sim").string();
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    options.simPath = DefaultSimPath();
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        std::string value = argv[++i];
        if (flag == "--sim") {
            options.simPath = value;
        } else if (flag == "--records") {
            options.records = std::atoi(value.c_str());
            if (options.records < 1 || options.records > MeasurementList::Capacity) return std::nullopt;
        } else if (flag == "--baud") {
            int baud = std::atoi(value.c_str());
            if (baud < 300) return std::nullopt;
            options.baud = static_cast<std::uint32_t>(baud);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// Records full of noise, with names the line has to convert.
void MakeRecords(MeasurementList& list, int count) {
    std::mt19937 random(2026);
    list.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        MeasurementRecord& r = list.slots[static_cast<std::size_t>(i)];
        for (std::uint8_t& b : r) b = static_cast<std::uint8_t>(random());
        const NameField name = PadName(Utf8ToAnsi("Замер " + std::to_string(i)));
        std::copy(name.begin(), name.end(), r.begin());
        r[rec::KindSections] = static_cast<std::uint8_t>(i % KindCount);  // no sections
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: zemrik-link-bench [--sim PATH] [--records 1..200] [--baud N]\n");
        return 2;
    }

    char folderPattern[] = "/tmp/zemrik-bench-XXXXXX";
    if (::mkdtemp(folderPattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = folderPattern;
    const std::string zmk = folder + "/bench.zmk";
    auto source = std::make_unique<MeasurementList>();
    MakeRecords(*source, options->records);
    FileHeader header{};
    bool ok = WriteMeasurementFile(zmk, *source, header);

    int exitCode = 1;
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", zmk.c_str());
    } else {
        Simulator sim;
        std::string error;
        if (!sim.Start(options->simPath,
                       {"--records", zmk, "--pace-baud", std::to_string(options->baud), "--no-stdin"},
                       error)) {
            std::fprintf(stderr, "zemrik-link-bench: %s (give the emulator with --sim PATH)\n",
                         error.c_str());
        } else {
            MainThreadCalls& calls = MainThreadCalls::Main();
            TCommPort port;
            port.PortNames().SetPath(1, sim.Path());
            port.SetComNumber(1);
            port.SetOpen(true);
            if (!port.Enabled()) {
                std::fprintf(stderr, "%s\n", zemrik::PortOpenErrorText);
            } else {
                port.SetLineSpeed(options->baud);

                CountingPort counted(port);
                // The pump zemrik-cli uses: sleep until bytes or a call arrive, or the deadline.
                port.SetDataNotifier([&calls] { calls.Wake(); });
                InstrumentProtocol instrument(counted, SteadyMilliseconds, [&](std::uint32_t maxWaitMs) {
                    if (maxWaitMs == 0 || port.GetInBuffUsed() > 0) {
                        calls.RunPending();
                    } else {
                        calls.WaitAndRunPending(std::chrono::milliseconds(maxWaitMs));
                    }
                });
                auto list = std::make_unique<MeasurementList>();

                const double cpuBefore = CpuSeconds();
                const auto start = Clock::now();
                int read = 0;
                bool same =
                    instrument.ReadRootTable() == 0 && instrument.GetRootTable().count == source->count;
                for (int i = 0; same && i < source->count; ++i) {
                    const auto slot = static_cast<std::size_t>(i);
                    same = instrument.ReadRecord(static_cast<std::uint8_t>(i), &list->slots[slot]) == 0 &&
                           list->slots[slot] == source->slots[slot];
                    if (same) ++read;
                }
                const double wall = std::chrono::duration<double>(Clock::now() - start).count();
                const double cpu = CpuSeconds() - cpuBefore;
                port.SetOpen(false);

                const std::uint64_t bytes = counted.sent + counted.received;
                const double line = static_cast<double>(bytes) * 10.0 / options->baud;
                std::printf("records read        %d of %d%s\n", read, options->records,
                            same ? "" : "  (FAILED: read error or different bytes)");
                std::printf("bytes on the line   %llu (sent %llu, received %llu)\n",
                            static_cast<unsigned long long>(bytes),
                            static_cast<unsigned long long>(counted.sent),
                            static_cast<unsigned long long>(counted.received));
                std::printf("wall time           %.3f s\n", wall);
                std::printf("line time           %.3f s at %u bit/s, 10 bits a byte\n", line, options->baud);
                std::printf("wall / line         %.3f\n", wall / line);
                std::printf("client CPU time     %.3f s (%.1f %% of wall time)\n", cpu, 100.0 * cpu / wall);
                if (same) exitCode = 0;
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return exitCode;
}
