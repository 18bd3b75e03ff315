#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cables/CableTable.h"
#include "cables/CableTableFile.h"
#include "cli/CliRun.h"
#include "measurement/MeasurementFile.h"
#include "measurement/MeasurementRecord.h"
#include "support/PtySim.h"
#include "support/RecordBuilders.h"

// The end-to-end rig: zemrik-sim on its pseudo-terminal with a memory loaded from files, the
// real zemrik-cli talking to it, and the memory it held at exit.
namespace zemrik::test {

// Records whose every byte matters: noise everywhere the program does not interpret, Cyrillic
// names, and sections on some of them (their names cross the line in code page 866 too).
inline std::vector<MeasurementRecord> SampleRecords(int count) {
    std::vector<MeasurementRecord> records;
    for (int i = 0; i < count; ++i) {
        RecordBuilder builder("Линия " + std::to_string(i));
        builder.Kind(i % KindCount).Sections(0).Filler(static_cast<std::uint32_t>(1000 + i));
        if (i % 3 == 1) {
            builder.Sections(2)
                .Section(0, "ТПП 10х2", 0, 45.5f, 28.5f, 120.0f, 40)
                .Section(1, "КСПП 1x4", 1, 50.0f, 35.0f, 80.5f, 90);
        }
        records.push_back(builder.Build());
    }
    return records;
}

inline std::string RecordBytes(const std::vector<MeasurementRecord>& records) {
    std::string bytes;
    for (const MeasurementRecord& r : records) bytes.append(r.begin(), r.end());
    return bytes;
}

// A measurement file of `records`; `reservedFill` goes into header bytes 1..31.
inline void WriteZmk(const std::string& path, const std::vector<MeasurementRecord>& records,
                     std::uint8_t reservedFill = 0) {
    auto list = std::make_unique<MeasurementList>();
    for (std::size_t i = 0; i < records.size(); ++i) list->slots[i] = records[i];
    list->count = static_cast<std::uint8_t>(records.size());
    FileHeader header{};
    header.fill(reservedFill);
    ASSERT_TRUE(WriteMeasurementFile(path, *list, header)) << path;
}

inline CableTable SampleCables(int count, std::uint8_t reservedFill) {
    CableTable table;
    for (int i = 0; i < count; ++i) {
        table.records[static_cast<std::size_t>(i)] =
            MakeCable("ТПП " + std::to_string(i + 1) + "0х2", static_cast<std::uint8_t>(i % 2), 45.0f + i,
                      28.5f + i, static_cast<std::uint8_t>(40 + i), reservedFill);
    }
    table.count = static_cast<std::uint8_t>(count);
    return table;
}

inline std::string CableBytes(const CableTable& table) {
    std::string bytes;
    for (int i = 0; i < table.count; ++i) {
        const CableRecord& r = table.records[static_cast<std::size_t>(i)];
        bytes.append(r.begin(), r.end());
    }
    return bytes;
}

// The emulator's --trace as it comes: its stderr goes into a FIFO the test reads, so a test
// waits for a byte on the line instead of polling a file.
class SimTrace {
public:
    explicit SimTrace(const std::string& path) : path_(path) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~SimTrace() {
        if (fd_ >= 0) ::close(fd_);
    }
    SimTrace(const SimTrace&) = delete;
    SimTrace& operator=(const SimTrace&) = delete;

    const std::string& Path() const { return path_; }
    const std::string& Seen() const { return seen_; }

    // Waits until `text` has come `times` times in all; false when the time-out passed first or
    // the emulator ended.
    bool WaitFor(std::string_view text, int times, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (Count(text) < times) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n == 0) return false;
            if (n > 0) seen_.append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    int Count(std::string_view text) const {
        int count = 0;
        for (auto at = seen_.find(text); at != std::string::npos; at = seen_.find(text, at + 1)) ++count;
        return count;
    }

    std::string path_;
    int fd_ = -1;
    std::string seen_;
};

// One emulator for one test: starts with the given memory files and flags, and saves its
// memory to files of its own when it is stopped.
class SimRig {
public:
    explicit SimRig(const TempFolder& folder) : folder_(folder) {}

    // Starts zemrik-sim with `args` plus the save options; its stderr goes to `stderrPath`, by
    // default a file of the test's folder.
    bool Start(std::vector<std::string> args, const std::string& stderrPath = {}) {
        args.insert(args.end(), {"--save-records", savedRecords_, "--save-cables", savedCables_});
        bool ok = sim_.Start(ZEMRIK_SIM_PATH, args, std::chrono::seconds(10),
                             stderrPath.empty() ? folder_.File("sim-stderr.txt") : stderrPath);
        EXPECT_TRUE(ok) << sim_.Error();
        return ok;
    }

    const std::string& Port() const { return sim_.SlavePath(); }
    SimProcess& Process() { return sim_; }

    // Ends the emulator the polite way, so that it saves what it holds.
    bool Stop() {
        std::optional<ChildExit> end = sim_.Stop(SIGTERM);
        EXPECT_TRUE(end && end->Clean()) << "zemrik-sim did not end cleanly";
        return end && end->Clean();
    }
    std::string StopAndReadRecords() {
        auto list = std::make_unique<MeasurementList>();
        FileHeader header{};
        if (!Stop() || !ReadMeasurementFile(savedRecords_, *list, header)) return "(not saved)";
        return RecordBytes({list->slots.begin(), list->slots.begin() + list->count});
    }
    std::string SavedCables() const { return ReadWholeFile(savedCables_); }

    // Runs zemrik-cli with `--port <the emulator's terminal>` before `args`.
    ProcessResult Cli(std::vector<std::string> args, ProcessOptions options = {}) const {
        args.insert(args.begin(), {"--port", Port()});
        return RunCli(std::move(args), std::move(options));
    }

private:
    const TempFolder& folder_;
    const std::string savedRecords_ = folder_.File("sim-saved.zmk");
    const std::string savedCables_ = folder_.File("sim-saved.cbl");
    SimProcess sim_;
};

}  // namespace zemrik::test
