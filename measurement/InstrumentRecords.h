#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/ExchangeResult.h"
#include "measurement/MeasurementRecord.h"

// What the measurement list's commands need of the instrument: its directory and the records
// stored under it. The byte protocol implements it over the serial line; tests answer from a
// script, so the main window's commands are tested without bytes.
namespace zemrik {

inline constexpr std::size_t RootEntrySize = 16;
using RootEntry = std::array<std::uint8_t, RootEntrySize>;

// The instrument's directory as last read: entry i names the record stored under number i.
struct RootTable {
    static constexpr int Capacity = 200;
    std::uint8_t count = 0;
    std::array<RootEntry, Capacity> entries{};
};

// Result codes are those of common/ExchangeResult.h.
class InstrumentRecords {
public:
    virtual ~InstrumentRecords() = default;

    virtual std::uint8_t ReadRootTable() = 0;
    virtual const RootTable& GetRootTable() const = 0;
    virtual std::uint8_t ReadRecord(std::uint8_t n, MeasurementRecord* buffer) = 0;
    // `name` is 1251 text; the record itself is not modified.
    virtual std::uint8_t WriteRecord(std::string_view name, const MeasurementRecord& record) = 0;
    virtual std::uint8_t DeleteRecord(std::uint8_t n) = 0;
    // True while an exchange is under way (an event processed during it must not start another).
    virtual bool Busy() const = 0;
    // Ends the exchange under way at its next wait for a byte, which then fails; any thread.
    virtual void CancelExchange() = 0;
};

}  // namespace zemrik
