#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cables/CableTable.h"
#include "measurement/MeasurementRecord.h"

// What the window logic needs of the instrument: the six commands and the directory they leave
// behind. Instrument speaks them over the serial line; tests answer them from a script, so the
// main window's and the cable window's commands are tested without bytes.
namespace zemrik {

inline constexpr std::size_t RootEntrySize = 16;
using RootEntry = std::array<std::uint8_t, RootEntrySize>;

// The instrument's directory as last read: entry i names the record stored under number i.
struct RootTable {
    static constexpr int Capacity = 200;
    std::uint8_t count = 0;
    std::array<RootEntry, Capacity> entries{};
};

// Result codes: reads return 0 (success) or 1 (failure). WriteRecord and WriteCableTable return
// the instrument's result byte (0 written, 1 write error, 2 no room), or 1 when none came;
// DeleteRecord returns its result byte, or 2 when none came.
class InstrumentCommands {
public:
    virtual ~InstrumentCommands() = default;

    virtual std::uint8_t ReadRootTable() = 0;
    virtual const RootTable& GetRootTable() const = 0;
    virtual std::uint8_t ReadRecord(std::uint8_t n, MeasurementRecord* buffer) = 0;
    // `name` is 1251 text; the record itself is not modified.
    virtual std::uint8_t WriteRecord(std::string_view name, const MeasurementRecord& record) = 0;
    virtual std::uint8_t DeleteRecord(std::uint8_t n) = 0;
    virtual std::uint8_t ReadCableTable(CableTable& table) = 0;
    virtual std::uint8_t WriteCableTable(const CableTable& table) = 0;
    // True while an exchange is under way (an event processed during it must not start another).
    virtual bool Busy() const = 0;
};

}  // namespace zemrik
