#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "link/Other.h"
#include "sim/InstrumentEmulator.h"
#include "support/FakeClock.h"
#include "support/FakePort.h"
#include "support/RecordBuilders.h"

// The protocol against the emulated instrument, in one thread: what the program queues is fed to
// the emulator, and the emulator's replies arrive on the fake clock after their delays. Clean
// round trips of every command run end to end (zemrik-cli against zemrik-sim); here the faults.
namespace zemrik {
namespace {

using test::FakeClock;
using test::FakePort;

// Faults with one more flag set.
EmulatorFaults WithFault(auto field, auto value, EmulatorFaults faults = {}) {
    faults.*field = value;
    return faults;
}

MeasurementRecord Record(int i) {
    return test::RecordBuilder("Замер №" + std::to_string(i)).Filler(100 + i).Kind(i % 7).Build();
}

// A pump call that may wait is one fake millisecond.
struct EmulatorBench {
    EmulatorBench() {
        port.OnSend([this](std::span<const std::uint8_t> bytes) {
            for (const EmulatorReply& reply : emulator.Receive(bytes))
                port.Deliver(reply.bytes, reply.delayMs);
        });
    }
    FakeClock clock;
    FakePort port{clock};
    InstrumentEmulator emulator;
    Instrument instrument{port, clock.AsTickSource(),
                          [this](std::uint32_t maxWaitMs) { clock.Advance(maxWaitMs > 0 ? 1 : 0); }};
};

// The emulator's timing, lengths and checksums against the protocol's, at their edges (the reply
// shape of each fault is the emulator's own test, the protocol's answer to it the protocol's),
// and the next clean exchange works again.
TEST(EmulatorLink, FaultsMeetTheProtocolAtTheirEdges) {
    using F = EmulatorFaults;
    MeasurementRecord buffer{};
    CableTable cables;
    cables.count = 1;
    using Op = std::function<std::uint8_t(Instrument&)>;
    const Op readRecord = [&](Instrument& i) { return i.ReadRecord(0, &buffer); };
    const Op readRoot = [](Instrument& i) { return i.ReadRootTable(); };
    const Op writeRecord = [&](Instrument& i) { return i.WriteRecord("w", Record(9)); };
    const Op writeCables = [&](Instrument& i) { return i.WriteCableTable(cables); };
    struct Case {
        const char* what;
        EmulatorFaults faults;
        Op run;
        std::uint8_t expected;
        std::size_t recordsAfter;  // the emulator starts with 4 records
        int capacity = 200;
    };
    const std::vector<Case> cases = {
        {"full memory", {}, writeRecord, 2, 4, 4},
        {"bad checksum", WithFault(&F::badChecksum, true), readRecord, 1, 4},
        {"refuse writes 2, cables", WithFault(&F::refuseWrites, 2), writeCables, 2, 4},
        {"stop after 257 bytes, record", WithFault(&F::stopAfter, 257), readRecord, 1, 4},
        {"stop after 258 bytes is the whole record", WithFault(&F::stopAfter, 258), readRecord, 0, 4},
        {"delay 3000 ms, write", WithFault(&F::delayMs, 3000), writeRecord, 1, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmulatorBench b;
        for (int i = 0; i < 4; ++i) b.emulator.AddRecord(Record(i));
        b.emulator.SetCapacity(c.capacity);
        b.emulator.SetFaults(c.faults);
        EXPECT_EQ(c.run(b.instrument), c.expected);
        EXPECT_EQ(b.emulator.Records().size(), c.recordsAfter);

        b.emulator.SetFaults({});
        EXPECT_EQ(b.instrument.ReadRootTable(), 0);
        EXPECT_EQ(b.instrument.GetRootTable().count, c.recordsAfter);
    }
}

}  // namespace
}  // namespace zemrik
