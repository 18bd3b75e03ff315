#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cables/InstrumentCables.h"
#include "measurement/InstrumentRecords.h"

// An instrument in memory: records, a cable table, a log of commands, forced result codes.
namespace zemrik::test {

class FakeInstrument : public InstrumentRecords, public InstrumentCables {
public:
    std::vector<MeasurementRecord> records;  // names in 1251, as the window sees them
    CableTable cables;

    std::uint8_t rootResult = 0;
    std::map<int, std::uint8_t> readFailures;   // record number -> result of ReadRecord
    std::map<int, std::uint8_t> deleteResults;  // record number -> result of DeleteRecord
    std::vector<std::uint8_t> writeResults;     // results of successive WriteRecord, then 0
    std::uint8_t cableReadResult = 0;
    std::uint8_t cableWriteResult = 0;

    std::vector<std::string> log;  // "root", "read 3", "write NAME", "delete 2", ...

    std::uint8_t ReadRootTable() override;
    const RootTable& GetRootTable() const override { return root_; }
    std::uint8_t ReadRecord(std::uint8_t n, MeasurementRecord* buffer) override;
    std::uint8_t WriteRecord(std::string_view name, const MeasurementRecord& record) override;
    std::uint8_t DeleteRecord(std::uint8_t n) override;
    std::uint8_t ReadCableTable(CableTable& table) override;
    std::uint8_t WriteCableTable(const CableTable& table) override;
    bool busy = false;
    bool Busy() const override { return busy; }
    // Runs with each command's log entry as the command starts: a test's way to act inside an
    // exchange. A CancelExchange meanwhile fails that command, as the protocol would.
    std::function<void(const std::string&)> during;
    int cancels = 0;
    void CancelExchange() override {
        ++cancels;
        cancelled_ = true;
    }

private:
    // Logs the command and runs `during`; false when the command was cancelled.
    bool Start(std::string entry);

    RootTable root_;
    bool cancelled_ = false;
};

}  // namespace zemrik::test
