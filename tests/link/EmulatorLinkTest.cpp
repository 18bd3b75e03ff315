// The protocol against the emulated instrument, in one thread: what the program queues is fed to
// the emulator, and its replies arrive on the fake clock after their delays.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "link/Other.h"
#include "sim/InstrumentEmulator.h"
#include "support/FakePort.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

MeasurementRecord Record(int i) {
    return test::RecordBuilder("Замер №" + std::to_string(i))
        .Kind(i % 7)
        .Sections(i % 6)
        .Section(0, "Кабель А", 0, 45, 90, 100, 50)
        .Section(4, "Пятый", 0, 1, 2, 3, 4)
        .Build();
}

TEST(EmulatorLinkTest, EveryOperationRoundTrips) {
    test::FakeClock clock;
    test::FakePort port{clock};
    InstrumentEmulator emulator;
    port.OnSend([&](std::span<const std::uint8_t> bytes) {
        for (const EmulatorReply& reply : emulator.Receive(bytes)) port.Deliver(reply.bytes, reply.delayMs);
    });
    Instrument instrument{port, clock.AsTickSource(),
                          [&](std::uint32_t maxWaitMs) { clock.Advance(maxWaitMs > 0 ? 1 : 0); }};
    auto list = std::make_unique<MeasurementList>();
    list->count = 12;
    for (int i = 0; i < 12; ++i) list->slots[i] = Record(i);
    emulator.LoadRecords(*list);  // held in 866, as the instrument does

    ASSERT_EQ(instrument.ReadRootTable(), 0);
    ASSERT_EQ(instrument.GetRootTable().count, 12);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(NameText(instrument.GetRootTable().entries[i].data()), NameText(Record(i).data()));
        MeasurementRecord got{};
        ASSERT_EQ(instrument.ReadRecord(static_cast<std::uint8_t>(i), &got), 0);
        EXPECT_EQ(got, Record(i));
    }
    MeasurementRecord none{};
    EXPECT_EQ(instrument.ReadRecord(12, &none), 1);

    EXPECT_EQ(instrument.WriteRecord(Utf8ToAnsi("Новый"), Record(40)), 0);
    EXPECT_EQ(instrument.DeleteRecord(1), 0);
    EXPECT_EQ(instrument.DeleteRecord(12), 1);  // out of range
    emulator.StoreRecords(*list);
    ASSERT_EQ(list->count, 12);
    EXPECT_EQ(list->slots[1], Record(2));
    MeasurementRecord written = Record(40);
    const NameField newName = PadName(Utf8ToAnsi("Новый"));
    std::copy(newName.begin(), newName.end(), written.begin());
    EXPECT_EQ(list->slots[11], written);  // stored under the name sent, the rest as sent

    CableTable table;
    table.count = 64;
    for (int i = 0; i < 64; ++i)
        table.records[i] = test::MakeCable("Тип " + std::to_string(i), i % 2, 1.5f * i, 2, 9);
    EXPECT_EQ(instrument.WriteCableTable(table), 0);
    EXPECT_NE(emulator.Cables().records[0], table.records[0]);  // the instrument keeps 866
    CableTable back;
    ASSERT_EQ(instrument.ReadCableTable(back), 0);
    EXPECT_EQ(back.count, 64);
    EXPECT_EQ(back.records, table.records);
}

}  // namespace
}  // namespace zemrik
