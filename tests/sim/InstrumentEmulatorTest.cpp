#include "sim/InstrumentEmulator.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "common/CodePage.h"
#include "sim/PtyServer.h"
#include "sim/ReplyLine.h"
#include "sim/SimOptions.h"
#include "support/RecordBuilders.h"

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

// Faults with one more flag set.
EmulatorFaults WithFault(auto field, auto value, EmulatorFaults faults = {}) {
    faults.*field = value;
    return faults;
}

TEST(InstrumentEmulatorTest, RawRequestSequences) {
    MeasurementRecord r{};
    r.fill(0x10);
    r[rec::KindSections] = 0x13;
    const Bytes rootOfOne =
        Cat({{0x00, 0x01}, Bytes(14, 0x10), {0x13, 0x00}, {0xF4}});  // 1 + 14 * 0x10 + 0x13
    struct Case {
        const char* what;
        Bytes in;
        Bytes out;
        std::size_t recordsAfter;
        int cablesAfter;
    };
    Bytes badWrite = WriteFrame(0x44);
    badWrite.back() = static_cast<std::uint8_t>(badWrite.back() + 1);
    const Bytes cablesTooMany = Framed(Cat({{0x41, 65}, Bytes(65 * 32, 0x20)}));
    const std::vector<Case> cases = {
        {"noise before the handshake", Cat({{0x00, 0x13, 0xAA}, Sync}), {0xA5}, 1, 0},
        {"repeated first sync byte", {0x55, 0x55, 0xAA}, {0xA5}, 1, 0},
        {"a command without handshake is ignored", {0x30, 0x30, 0x33, 0x00, 0x33}, {}, 1, 0},
        {"unknown command ends the exchange", Cat({Sync, {0x99, 0x30, 0x30}}), {0xA5}, 1, 0},
        {"second handshake before the command", Cat({Sync, Sync, {0x30, 0x30}}),
         Cat({{0xA5, 0xA5}, rootOfOne}), 1, 0},
        {"root table", Cat({Sync, {0x30, 0x30}}), Cat({{0xA5}, rootOfOne}), 1, 0},
        {"root table, bad request checksum", Cat({Sync, {0x30, 0x31}}), {0xA5, 0x01}, 1, 0},
        {"record out of range", Cat({Sync, {0x31, 0x01, 0x32}}), {0xA5, 0x01}, 1, 0},
        {"record, bad request checksum", Cat({Sync, {0x31, 0x00, 0x30}}), {0xA5, 0x01}, 1, 0},
        {"delete out of range", Cat({Sync, {0x33, 0x01, 0x34}}), {0xA5, 0x01, 0x00}, 1, 0},
        {"delete, bad request checksum", Cat({Sync, {0x33, 0x00, 0x34}}), {0xA5, 0x01, 0x00}, 1, 0},
        {"delete", Cat({Sync, {0x33, 0x00, 0x33}}), {0xA5, 0x00, 0x00}, 0, 0},
        {"write", Cat({Sync, WriteFrame(0x44)}), {0xA5, 0x00, 0x00}, 2, 0},
        {"write, bad request checksum", Cat({Sync, badWrite}), {0xA5, 0x01, 0x00}, 1, 0},
        {"handshake bytes inside a write are data", Cat({Sync, WriteFrame(0x55)}), {0xA5, 0x00, 0x00}, 2, 0},
        {"empty cable table", Cat({Sync, {0x40, 0x40}}), {0xA5, 0x00, 0x00, 0x00}, 1, 0},
        {"cable write of 65 is taken in whole and refused",
         Cat({Sync, cablesTooMany, Sync}),
         {0xA5, 0x02, 0xA5},
         1,
         0},
        {"cable write of 1", Cat({Sync, Framed(Cat({{0x41, 0x01}, Bytes(32, 0x30)}))}), {0xA5, 0x00}, 1, 1},
        {"cable write, bad request checksum", Cat({Sync, {0x41, 0x00, 0x40}}), {0xA5, 0x01}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstrumentEmulator whole;
        whole.AddRecord(r);
        EXPECT_EQ(Flatten(whole.Receive(c.in)), c.out);
        EXPECT_EQ(whole.Records().size(), c.recordsAfter);
        EXPECT_EQ(whole.Cables().count, c.cablesAfter);

        // Byte by byte, as a slow line delivers it, the instrument answers the same.
        InstrumentEmulator split;
        split.AddRecord(r);
        Bytes out;
        for (std::uint8_t b : c.in) {
            Bytes one = Flatten(split.Receive(Bytes{b}));
            out.insert(out.end(), one.begin(), one.end());
        }
        EXPECT_EQ(out, c.out);
    }
}

TEST(InstrumentEmulatorTest, FaultsShapeTheReplies) {
    using F = EmulatorFaults;
    MeasurementRecord r{};
    r.fill(0x01);
    struct Case {
        const char* what;
        EmulatorFaults faults;
        Bytes in;
        std::vector<EmulatorReply> out;
    };
    const Bytes readRecord = Cat({Sync, {0x31, 0x00, 0x31}});
    Bytes fullRecordReply = Cat({{0x00}, Bytes(256, 0x01), {0x00}});
    Bytes badSumReply = fullRecordReply;
    badSumReply.back() = 0x01;
    const std::vector<Case> cases = {
        {"handshake byte and delay",
         WithFault(&F::handshakeDelayMs, 700u, WithFault(&F::handshakeByte, 0x5A)),
         Sync,
         {{700, {0x5A}}}},
        {"no handshake", WithFault(&F::noHandshake, true), readRecord, {}},
        {"delay before replies only",
         WithFault(&F::delayMs, 250),
         readRecord,
         {{0, {0xA5}}, {250, fullRecordReply}}},
        {"bad checksum", WithFault(&F::badChecksum, true), readRecord, {{0, {0xA5}}, {0, badSumReply}}},
        {"status", WithFault(&F::status, 9), readRecord, {{0, {0xA5}}, {0, {0x09}}}},
        {"stop after 3", WithFault(&F::stopAfter, 3), readRecord, {{0, {0xA5}}, {0, {0x00, 0x01, 0x01}}}},
        {"no further byte",
         WithFault(&F::noFurtherByte, true),
         Cat({Sync, {0x33, 0x01, 0x34}}),
         {{0, {0xA5}}, {0, {0x01}}}},
        {"refuse writes",
         WithFault(&F::refuseWrites, 7),
         Cat({Sync, WriteFrame(1)}),
         {{0, {0xA5}}, {0, {0x07, 0x00}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstrumentEmulator emu;
        emu.AddRecord(r);
        emu.SetFaults(c.faults);
        const std::vector<EmulatorReply> out = emu.Receive(c.in);
        ASSERT_EQ(out.size(), c.out.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].delayMs, c.out[i].delayMs) << i;
            EXPECT_EQ(out[i].bytes, c.out[i].bytes) << i;
        }
        EXPECT_EQ(emu.Records().size(), 1u);
    }
}

TEST(InstrumentEmulatorTest, ResetDropsAHalfReceivedRequest) {
    InstrumentEmulator emu;
    const Bytes frame = WriteFrame(0x20);
    EXPECT_EQ(Flatten(emu.Receive(Cat({Sync, Bytes(frame.begin(), frame.begin() + 100)}))), Bytes{0xA5});
    EXPECT_TRUE(emu.MidFrame());
    EXPECT_TRUE(emu.Receive(Sync).empty());  // still inside the write's data
    emu.Reset();
    EXPECT_FALSE(emu.MidFrame());
    EXPECT_EQ(Flatten(emu.Receive(Sync)), Bytes{0xA5});
    EXPECT_TRUE(emu.Records().empty());
}

// Paced at 100 us a byte: what the line model writes when, and what it drops.
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

    // A long reply is handed over in groups a millisecond apart at most, none before its time.
    emu.AddRecord(MeasurementRecord{});
    line.Receive(Sync, 10'000);
    line.Receive(Framed({0x31, 0x00}), 20'000);
    line.Sent(line.Due(10'300).size(), 10'300);
    ASSERT_EQ(line.NextDueUs(), 20'400u);
    EXPECT_EQ(line.NextWriteUs(), 20'400u + ReplyLine::kGroupUs);

    // A new handshake drops what the abandoned exchange still had queued: only its answer is left.
    line.Receive(Sync, 30'000);
    EXPECT_EQ(line.NextDueUs(), 30'300u);
    EXPECT_EQ(line.Due(40'000).size(), 1u);

    // Without pacing a reply is due the moment its request is read.
    ReplyLine fast(emu, 0);
    fast.Receive(Sync, 500);
    EXPECT_EQ(fast.NextDueUs(), 500u);
    EXPECT_EQ(fast.Due(500).size(), 1u);
}

TEST(PtyServerTest, ReplacesOnlyALinkAnEmulatorLeftBehind) {
    char folder[] = "/tmp/zemrik-link-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string dir = folder;
    struct Case {
        const char* name;
        const char* target;  // null: a plain file
        bool replaced;
    };
    const Case cases[] = {{"gone-pty", "/dev/pts/987654", true},
                          {"live", "/dev/null", false},
                          {"dangling", "/tmp/zemrik-no-such-file", false},
                          {"file", nullptr, false}};
    for (const Case& c : cases) {
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
    SimParse parsed = ParseSimOptions({"--handshake-delay", "600", "--delay", "1500", "--pace-baud", "28800",
                                       "--handshake-byte", "0xA4", "--status", "0x10", "--capacity", "7"});
    const std::optional<SimOptions>& some = parsed.options;
    ASSERT_TRUE(some) << parsed.err;
    EXPECT_EQ(some->faults.handshakeDelayMs, 600u);
    EXPECT_EQ(some->faults.delayMs, 1500u);
    EXPECT_EQ(some->paceBaud, 28800u);
    EXPECT_EQ(some->faults.handshakeByte, 0xA4);
    EXPECT_EQ(some->faults.status, 0x10);
    EXPECT_EQ(some->capacity, 7);

    auto none = ParseSimOptions({}).options;
    ASSERT_TRUE(none);
    EXPECT_EQ(none->capacity, 200);
    EXPECT_EQ(none->faults.handshakeByte, 0xA5);
    EXPECT_FALSE(none->faults.refuseWrites);
    EXPECT_FALSE(none->faults.stopAfter);
    EXPECT_EQ(none->paceBaud, 0u);

    const std::vector<std::vector<std::string>> bad = {
        {"--capacity", "201"},       {"--capacity"},
        {"--capacity", "-1"},        {"--status", "256"},
        {"--handshake-byte", "1FF"}, {"--handshake-byte", "xyz"},
        {"--delay", "1.5"},          {"--records"},
        {"--pace-baud", ""},         {"--frobnicate"},
        {"--stop-after", "0x"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args[0]);
        const SimParse result = ParseSimOptions(args);
        EXPECT_FALSE(result.options);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.starts_with("zemrik-sim: ")) << result.err;
    }
}

}  // namespace
}  // namespace zemrik
