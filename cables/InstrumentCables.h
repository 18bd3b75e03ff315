#pragma once

#include <cstdint>

#include "cables/CableTable.h"
#include "common/ExchangeResult.h"

// What the cable table's commands need of the instrument: its table of cable types, read and
// written whole. The byte protocol implements it; tests answer from a script.
namespace zemrik {

// Result codes are those of common/ExchangeResult.h.
class InstrumentCables {
public:
    virtual ~InstrumentCables() = default;

    // `table` changes only on success.
    virtual std::uint8_t ReadCableTable(CableTable& table) = 0;
    virtual std::uint8_t WriteCableTable(const CableTable& table) = 0;
    // True while an exchange is under way (an event processed during it must not start another).
    virtual bool Busy() const = 0;
    // Ends the exchange under way at its next wait for a byte, which then fails; any thread.
    virtual void CancelExchange() = 0;
};

}  // namespace zemrik
