// The program's own link in-process: TCommPort with its worker threads on the real device
// layer, and Instrument above it, against zemrik-sim as a child process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "e2e/E2eSupport.h"
#include "link/Commport.h"
#include "link/MainThreadCalls.h"
#include "link/Other.h"
#include "link/PosixSerialDevice.h"

namespace zemrik::test {
namespace {

// The port and protocol wired up as a program wires them: the protocol's pump serves the
// workers' calls to this thread, waiting a little only when no byte is there to take.
struct LinkStack {
    MainThreadCalls calls;
    TCommPort port{nullptr, std::make_unique<PosixSerialDevice>(), &calls};
    Instrument instrument{port, SteadyMilliseconds, [this] {
                              if (port.GetInBuffUsed() > 0) {
                                  calls.RunPending();
                              } else {
                                  calls.WaitAndRunPending(std::chrono::milliseconds(1));
                              }
                          }};

    bool Open(const std::string& path) {
        port.PortNames().SetPath(1, path);
        port.SetComNumber(1);
        port.SetOpen(true);
        if (!port.Enabled()) return false;
        Dcb dcb;
        port.Handle()->GetState(dcb);
        dcb.BaudRate = 28800;
        return port.Handle()->SetState(dcb);
    }
    ~LinkStack() { port.SetOpen(false); }
};

TEST(LinkStack, FullGetOfAFullInstrument) {
    TempFolder folder;
    const std::vector<MeasurementRecord> records = SampleRecords(MeasurementList::Capacity);
    const std::string zmk = folder.File("full.zmk");
    WriteZmk(zmk, records);
    SimRig sim(folder);
    ASSERT_TRUE(sim.Start({"--records", zmk}));

    auto link = std::make_unique<LinkStack>();
    ASSERT_TRUE(link->Open(sim.Port()));
    ASSERT_EQ(link->instrument.ReadRootTable(), 0);
    const RootTable& root = link->instrument.GetRootTable();
    ASSERT_EQ(root.count, MeasurementList::Capacity);

    auto list = std::make_unique<MeasurementList>();
    for (int i = 0; i < root.count; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        ASSERT_EQ(link->instrument.ReadRecord(static_cast<std::uint8_t>(i), &list->slots[slot]), 0) << i;
        // Record i of the instrument is the one its directory names under i.
        EXPECT_TRUE(std::equal(root.entries[slot].begin(), root.entries[slot].begin() + NameLength,
                               list->slots[slot].begin()))
            << i;
        EXPECT_TRUE(list->slots[slot] == records[slot]) << "record " << i << " differs";
    }

    // The same port carries a write and a delete afterwards, and the instrument agrees.
    EXPECT_EQ(link->instrument.DeleteRecord(0), 0);
    EXPECT_EQ(link->instrument.WriteRecord(Utf8ToAnsi("Новая"), records[0]), 0);
    ASSERT_EQ(link->instrument.ReadRootTable(), 0);
    EXPECT_EQ(root.count, MeasurementList::Capacity);
    link.reset();

    std::vector<MeasurementRecord> stored = sim.StopAndReadRecords();
    ASSERT_EQ(stored.size(), records.size());
    EXPECT_TRUE(stored.front() == records[1]);
    MeasurementRecord renamed = records[0];
    const NameField name = PadName(Utf8ToAnsi("Новая"));
    std::copy(name.begin(), name.end(), renamed.begin());
    EXPECT_TRUE(stored.back() == renamed);
}

}  // namespace
}  // namespace zemrik::test
