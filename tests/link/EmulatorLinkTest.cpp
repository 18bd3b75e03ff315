#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "link/Other.h"
#include "sim/InstrumentEmulator.h"
#include "support/FakeClock.h"
#include "support/FakePort.h"
#include "support/RecordBuilders.h"

// The protocol against the emulated instrument, in one thread: what the program queues is fed to
// the emulator, and the emulator's replies arrive on the fake clock after their delays.
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
    return test::RecordBuilder("Замер №" + std::to_string(i))
        .Filler(100 + i)
        .Kind(i % 7)
        .Sections(i % 6)
        .Section(0, "Кабель А", 0, 45, 90, 100, 50)
        .Section(1, "Кабель Б", 1, 40, 95, 150, 60)
        .Section(2, "Третий", 1, 1, 2, 3, 4)
        .Section(3, "Четвёртый", 1, 1, 2, 3, 4)
        .Section(4, "Пятый", 0, 1, 2, 3, 4)
        .Build();
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

class EmulatorLinkTest : public ::testing::Test, public EmulatorBench {
protected:
    void Load(int recordCount) {
        auto list = std::make_unique<MeasurementList>();
        list->count = static_cast<std::uint8_t>(recordCount);
        for (int i = 0; i < recordCount; ++i) list->slots[i] = Record(i);
        emulator.LoadRecords(*list);
        CableTable cables;
        cables.count = 3;
        cables.records[0] = test::MakeCable("ТПП 0,4", 0, 45, 139, 40, 0x11);
        cables.records[1] = test::MakeCable("КСПП 1x4x0,9", 0, 40, 28.5f, 90, 0xEE);
        cables.records[2] = test::MakeCable("Алюминий", 1, 50, 200, 120);
        emulator.LoadCables(cables);
    }
};

TEST_F(EmulatorLinkTest, ReadEverythingBackAsItWasLoaded) {
    Load(12);
    ASSERT_EQ(instrument.ReadRootTable(), 0);
    const RootTable& root = instrument.GetRootTable();
    ASSERT_EQ(root.count, 12);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const MeasurementRecord original = Record(i);
        EXPECT_EQ(NameText(root.entries[i].data()), NameText(original.data()));
        EXPECT_EQ(root.entries[i][14], original[rec::KindSections]);
        MeasurementRecord got{};
        ASSERT_EQ(instrument.ReadRecord(static_cast<std::uint8_t>(i), &got), 0);
        EXPECT_EQ(got, original);
    }
    MeasurementRecord none;
    none.fill(0xAB);
    EXPECT_EQ(instrument.ReadRecord(12, &none), 1);  // the instrument has no record 12
    for (std::uint8_t b : none) ASSERT_EQ(b, 0xAB);

    CableTable cables;
    ASSERT_EQ(instrument.ReadCableTable(cables), 0);
    CableTable expected;
    emulator.StoreCables(expected);
    EXPECT_EQ(cables.count, 3);
    EXPECT_EQ(cables.records, expected.records);
    EXPECT_EQ(CableNameText(cables.records[1]), "КСПП 1x4x0,9");
}

TEST_F(EmulatorLinkTest, WriteDeleteAndCableTableChangeTheInstrument) {
    Load(3);
    const MeasurementRecord fresh = Record(40);
    EXPECT_EQ(instrument.WriteRecord(Utf8ToAnsi("Новый"), fresh), 0);
    ASSERT_EQ(emulator.Records().size(), 4u);
    auto list = std::make_unique<MeasurementList>();
    emulator.StoreRecords(*list);
    MeasurementRecord expected = fresh;
    const NameField newName = PadName(Utf8ToAnsi("Новый"));
    std::copy(newName.begin(), newName.end(), expected.begin());
    EXPECT_EQ(list->slots[3], expected);  // stored under the name sent, everything else as sent

    EXPECT_EQ(instrument.DeleteRecord(1), 0);
    emulator.StoreRecords(*list);
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(list->slots[0], Record(0));
    EXPECT_EQ(list->slots[1], Record(2));
    EXPECT_EQ(list->slots[2], expected);
    EXPECT_EQ(instrument.DeleteRecord(3), 1);  // out of range
    EXPECT_EQ(emulator.Records().size(), 3u);

    ASSERT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(instrument.GetRootTable().count, 3);
    EXPECT_EQ(TrimName(instrument.GetRootTable().entries[2].data()), Utf8ToAnsi("Новый"));

    CableTable table;
    table.count = 64;
    for (int i = 0; i < 64; ++i)
        table.records[i] = test::MakeCable("Тип " + std::to_string(i), i % 2, 1.5f * i, 2, 9, 0x5A);
    EXPECT_EQ(instrument.WriteCableTable(table), 0);
    CableTable held;
    emulator.StoreCables(held);
    EXPECT_EQ(held.count, 64);
    EXPECT_EQ(held.records, table.records);
    EXPECT_NE(emulator.Cables().records[0], table.records[0]);  // the instrument keeps 866

    CableTable empty;
    EXPECT_EQ(instrument.WriteCableTable(empty), 0);
    EXPECT_EQ(emulator.Cables().count, 0);
}

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
