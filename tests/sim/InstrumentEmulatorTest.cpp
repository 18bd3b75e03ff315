#include "sim/InstrumentEmulator.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>
#include <string>
#include <vector>

#include "support/RecordBuilders.h"

#include "measurement/MeasurementFile.h"
#include "sim/Console.h"
#include "sim/PtyServer.h"
#include "sim/ReplyLine.h"
#include "sim/SimOptions.h"

namespace zemrik {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Flatten(const std::vector<EmulatorReply>& replies) {
    Bytes all;
    for (const EmulatorReply& r : replies) all.insert(all.end(), r.bytes.begin(), r.bytes.end());
    return all;
}

Bytes Framed(Bytes frame) {
    frame.push_back(static_cast<std::uint8_t>(std::accumulate(frame.begin(), frame.end(), 0u)));
    return frame;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Bytes Sync{0x55, 0xAA};

Bytes WriteFrame(std::uint8_t fill) { return Framed(Cat({{0x32}, Bytes(14, 'N'), Bytes(256, fill)})); }

TEST(InstrumentEmulatorTest, RawRequestSequences) {
    MeasurementRecord r{};
    r.fill(0x10);
    r[rec::KindSections] = 0x13;
    const Bytes rootOfOne = Cat({{0x00, 0x01}, Bytes(14, 0x10), {0x13, 0x00}, {0xF4}});  // 1 + 14*0x10 + 0x13
    const Bytes cablesTooMany = Framed(Cat({{0x41, 65}, Bytes(65 * 32, 0x20)}));
    const struct {
        Bytes in, out;
        std::size_t recordsAfter;
        int cablesAfter;
    } cases[] = {
        {Cat({{0x00, 0x13, 0xAA}, Sync}), {0xA5}, 1, 0},  // noise before the handshake
        {{0x30, 0x30, 0x33, 0x00, 0x33}, {}, 1, 0},       // no handshake: ignored
        {Cat({Sync, {0x99, 0x30, 0x30}}), {0xA5}, 1, 0},  // unknown command ends it
        {Cat({Sync, Sync, {0x30, 0x30}}), Cat({{0xA5, 0xA5}, rootOfOne}), 1, 0},
        {Cat({Sync, {0x30, 0x31}}), {0xA5, 0x01}, 1, 0},               // bad request checksum
        {Cat({Sync, {0x33, 0x00, 0x33}}), {0xA5, 0x00, 0x00}, 0, 0},   // delete
        {Cat({Sync, WriteFrame(0x55)}), {0xA5, 0x00, 0x00}, 2, 0},     // sync bytes inside data
        {Cat({Sync, {0x40, 0x40}}), {0xA5, 0x00, 0x00, 0x00}, 1, 0},   // empty cable table
        {Cat({Sync, cablesTooMany, Sync}), {0xA5, 0x02, 0xA5}, 1, 0},  // taken in whole, refused
        {Cat({Sync, Framed(Cat({{0x41, 0x01}, Bytes(32, 0x30)}))}), {0xA5, 0x00}, 1, 1},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        InstrumentEmulator whole;
        whole.AddRecord(r);
        EXPECT_EQ(Flatten(whole.Receive(cases[k].in)), cases[k].out);
        EXPECT_EQ(whole.Records().size(), cases[k].recordsAfter);
        EXPECT_EQ(whole.Cables().count, cases[k].cablesAfter);
        // Byte by byte, as a slow line delivers it, the instrument answers the same.
        InstrumentEmulator split;
        split.AddRecord(r);
        Bytes out;
        for (std::uint8_t b : cases[k].in) {
            const Bytes one = Flatten(split.Receive(Bytes{b}));
            out.insert(out.end(), one.begin(), one.end());
        }
        EXPECT_EQ(out, cases[k].out);
    }
}

// Paced at 100 us a byte: what the line model writes when, and what it drops.
// The instrument's own keys, from stdin: records go and come while the program is connected.
TEST(ConsoleTest, DeleteAndAddChangeTheMemory) {
    test::TempFolder dir;
    MeasurementList list;
    list.slots[0] = test::RecordBuilder("Новая").Kind(2);
    list.slots[1] = test::RecordBuilder("Ещё").Kind(3);
    list.count = 2;
    FileHeader header{};
    ASSERT_TRUE(WriteMeasurementFile(dir.File("two.zmk"), list, header));
    InstrumentEmulator emulator;
    const std::pair<std::string, std::string> steps[] = {
        {"add " + dir.File("two.zmk"), "added 2\n"},
        {"add " + dir.File("none.zmk"), "error: cannot read " + dir.File("none.zmk") + "\n"},
        {"delete 0\r", "deleted 0\n"},
        {"delete 1", "error: no record 1\n"},
        {"delete x", "error: no record x\n"},
        {"measure", "error: unknown command measure (delete N, add FILE.zmk)\n"},
    };
    for (const auto& [line, answer] : steps) EXPECT_EQ(RunConsoleCommand(line, emulator), answer) << line;
    ASSERT_EQ(emulator.Records().size(), 1u);
    MeasurementRecord stored = emulator.Records()[0];  // kept as the instrument keeps it: in 866
    ConvertRecordNames(stored, CodePageDirection::OemToAnsi);
    EXPECT_EQ(stored, list.slots[1]);
}

TEST(ReplyLineTest, RequestArrivesAndReplyLeavesOneByteTimeAByte) {
    InstrumentEmulator emu;
    ReplyLine line(emu, 100);
    EXPECT_FALSE(line.NextDueUs());

    // The handshake is read at 1000 us in one piece: its second byte has crossed the line at
    // 1200, the answer at 1300.
    line.Receive(Sync, 1000);
    EXPECT_EQ(line.NextDueUs(), 1300u);
    EXPECT_TRUE(line.Due(1299).empty());
    ASSERT_EQ(Bytes(line.Due(1300).begin(), line.Due(1300).end()), Bytes{0xA5});
    line.Sent(1, 1300);

    // The root table request read at 1400 has arrived at 1600; the three reply bytes leave at
    // 1700, 1800 and 1900, and the server need not wake before the last one is due.
    line.Receive(Framed({0x30}), 1400);
    EXPECT_EQ(line.NextDueUs(), 1700u);
    EXPECT_EQ(line.NextWriteUs(), 1900u);
    EXPECT_EQ(line.Due(1850).size(), 2u);
    line.Sent(1, 1850);  // the terminal took one of them
    EXPECT_EQ(line.NextDueUs(), 1800u);
    line.Sent(2, 1900);
    EXPECT_TRUE(line.Empty());

    // A new handshake drops what the abandoned exchange still had queued: only its answer is left.
    line.Receive(Sync, 30'000);
    EXPECT_EQ(line.NextDueUs(), 30'300u);
    EXPECT_EQ(line.Due(40'000).size(), 1u);
}

TEST(PtyServerTest, ReplacesOnlyALinkAnEmulatorLeftBehind) {
    char folder[] = "/tmp/zemrik-link-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string dir = folder;
    const struct {
        const char* name;
        const char* target;  // null: a plain file
        bool replaced;
    } cases[] = {{"gone-pty", "/dev/pts/987654", true},
                 {"live", "/dev/null", false},
                 {"dangling", "/tmp/zemrik-no-such-file", false},
                 {"file", nullptr, false}};
    for (const auto& c : cases) {
        const std::string path = dir + "/" + c.name;
        if (c.target != nullptr) {
            ASSERT_EQ(::symlink(c.target, path.c_str()), 0);
        } else {
            ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0600));
        }
        EXPECT_EQ(LeftByAnEmulator(path), c.replaced) << c.name;
        ::unlink(path.c_str());
    }
    ::rmdir(folder);
}

TEST(SimOptionsTest, CommandLine) {
    const SimParse parsed = ParseSimOptions({"--handshake-byte", "0xA4", "--pace-baud", "28800"});
    ASSERT_TRUE(parsed.options) << parsed.err;
    EXPECT_EQ(parsed.options->faults.handshakeByte + parsed.options->paceBaud, 0xA4u + 28800u);
    const std::vector<std::vector<std::string>> bad = {
        {"--capacity", "201"}, {"--handshake-byte", "1FF"}, {"--delay", "1.5"}, {"--records"}, {"--x"},
    };
    for (const auto& args : bad) {
        const SimParse result = ParseSimOptions(args);
        EXPECT_FALSE(result.options) << args[0];
        EXPECT_EQ(result.exitCode, 2) << args[0];
        EXPECT_TRUE(result.err.starts_with("zemrik-sim: ")) << result.err;
    }
}

}  // namespace
}  // namespace zemrik
