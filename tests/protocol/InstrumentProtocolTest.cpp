#include "protocol/InstrumentProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "support/FakePort.h"
#include "support/RecordBuilders.h"

namespace zemrik {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint8_t Sum(const Bytes& bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

// A read reply: status 0, the body, the checksum of the body.
Bytes ReadReply(Bytes body) {
    const std::uint8_t sum = Sum(body);
    body.insert(body.begin(), 0x00);
    body.push_back(sum);
    return body;
}

Bytes ToOem(Bytes bytes) {
    ConvertCodePage(bytes.data(), bytes.size(), CodePageDirection::AnsiToOem);
    return bytes;
}

// A root table body; the two bytes after each name travel unconverted.
Bytes RootBody(const std::vector<std::string>& names) {
    Bytes body{static_cast<std::uint8_t>(names.size())};
    for (const std::string& n : names) {
        NameField field = PadName(n);
        Bytes entry = ToOem(Bytes(field.begin(), field.end()));
        body.insert(body.end(), entry.begin(), entry.end());
        body.insert(body.end(), {0x86, 0xE0});
    }
    return body;
}

using Op = std::function<std::uint8_t(InstrumentProtocol&)>;

// The protocol over a scripted port; every pump call that may wait moves the clock 1 ms.
struct Bench {
    test::FakeClock clock;
    test::FakePort port{clock};
    InstrumentProtocol instrument{port, clock.AsTickSource(),
                                  [this](std::uint32_t maxWaitMs) { clock.Advance(maxWaitMs > 0 ? 1 : 0); }};
};

class InstrumentProtocolTest : public ::testing::Test, public Bench {
protected:
    MeasurementRecord record_{};
    CableTable cables_;
    const Op readRoot = [](InstrumentProtocol& i) { return i.ReadRootTable(); };
    const Op readRecord = [this](InstrumentProtocol& i) { return i.ReadRecord(0xF0, &record_); };
    const Op writeRecord = [this](InstrumentProtocol& i) { return i.WriteRecord("a", record_); };
    const Op deleteRecord = [](InstrumentProtocol& i) { return i.DeleteRecord(2); };
    const Op readCables = [this](InstrumentProtocol& i) { return i.ReadCableTable(cables_); };
    const Op writeCables = [this](InstrumentProtocol& i) { return i.WriteCableTable(cables_); };
};

// Each operation's request frame, and its stop before the request on any handshake fault.
TEST_F(InstrumentProtocolTest, RequestFramesAndHandshakeFaults) {
    const struct {
        Op run;
        Bytes frame;  // empty: only the frame's first byte is checked
        std::uint8_t failure;
    } ops[] = {
        {readRoot, {0x30, 0x30}, 1},   {readRecord, {0x31, 0xF0, 0x21}, 1},  // the checksum wraps
        {writeRecord, {}, 1},          {deleteRecord, {0x33, 0x02, 0x35}, 2},
        {readCables, {0x40, 0x40}, 1}, {writeCables, {0x41, 0x00, 0x41}, 1},
    };
    const std::optional<std::uint8_t> handshakes[] = {0xA5, 0x5A, std::nullopt};
    Bench answered;  // one after another: each frame's checksum starts afresh
    for (std::size_t k = 0; k < std::size(ops); ++k) {
        for (const auto& answer : handshakes) {
            SCOPED_TRACE(std::to_string(k) + " / " + std::to_string(answer.value_or(0)));
            Bench fresh;
            Bench& b = answer == 0xA5 ? answered : fresh;
            const std::size_t before = b.port.Sent().size();
            if (answer) b.port.AnswerHandshake(before, *answer);
            const std::uint64_t start = b.clock.Now();
            EXPECT_EQ(ops[k].run(b.instrument), ops[k].failure);  // after the handshake, silence
            EXPECT_FALSE(b.instrument.Busy());
            const Bytes sent(b.port.Sent().begin() + static_cast<std::ptrdiff_t>(before),
                             b.port.Sent().end());
            ASSERT_GE(sent.size(), 2u);
            EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 2), (Bytes{0x55, 0xAA}));
            ASSERT_FALSE(b.port.OutFlushes().empty());
            EXPECT_EQ(b.port.OutFlushes().back(), before);  // unsent bytes go first
            if (answer == 0xA5) {
                if (ops[k].frame.empty()) {
                    ASSERT_EQ(sent.size(), 2u + 272u);
                    EXPECT_EQ(sent.back(), Sum(Bytes(sent.begin() + 2, sent.end() - 1)));
                } else {
                    EXPECT_EQ(Bytes(sent.begin() + 2, sent.end()), ops[k].frame);
                }
            } else {
                EXPECT_EQ(sent.size(), 2u);
                EXPECT_EQ(b.clock.Now() - start, answer == 0x5A ? 0u : 500u);  // no retry
            }
        }
    }
}

TEST_F(InstrumentProtocolTest, WriteRecordSendsNameAndConvertedCopyWithChecksum) {
    const struct {
        std::string name, wire;  // 1251; the wire's before conversion to 866
    } cases[] = {{"a name far longer than fourteen", "a name far lon"},
                 {Utf8ToAnsi("Кабель №1"), Utf8ToAnsi("Кабель №1     ")}};
    MeasurementRecord record = test::RecordBuilder("")
                                   .Sections(2)
                                   .Section(0, "ТПП 10х2", 0, 45, 90, 100, 50)
                                   .Section(2, "Ёлка", 1, 1, 1, 1, 1)
                                   .Build();
    // Characters 866 has no place for: the caller must still get them back unchanged.
    for (std::size_t k = 0; k < 14; ++k)
        record[SectionOffset(1) + k] = static_cast<std::uint8_t>(0x8E + k * 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        MeasurementRecord caller = record;
        Bench b;
        b.port.AnswerNext(272, {0x00, 0x17});
        EXPECT_EQ(b.instrument.WriteRecord(c.name, caller), 0);
        const Bytes frame(b.port.Sent().begin() + 2, b.port.Sent().end());
        ASSERT_EQ(frame.size(), 272u);
        EXPECT_EQ(frame[0], 0x32);
        EXPECT_EQ(Bytes(frame.begin() + 1, frame.begin() + 15), ToOem(Bytes(c.wire.begin(), c.wire.end())));
        // The name and the two stored sections' names in 866; the third section and the rest as is.
        MeasurementRecord expected = record;
        for (std::size_t off : {std::size_t{0}, SectionOffset(0), SectionOffset(1)})
            ConvertCodePage(expected.data() + off, 14, CodePageDirection::AnsiToOem);
        EXPECT_EQ(Bytes(frame.begin() + 15, frame.begin() + 271), Bytes(expected.begin(), expected.end()));
        EXPECT_EQ(frame[271], Sum(Bytes(frame.begin(), frame.begin() + 271)));
        EXPECT_EQ(caller, record);
    }
}

TEST_F(InstrumentProtocolTest, EachReplyByteHasItsOwnTimeOut) {
    // Bytes 9.999 s apart still make a reply.
    const Bytes reply = ReadReply(RootBody({"slow"}));
    port.AnswerHandshake(0, 0xA5, 3);
    port.AfterSent(4, reply, 9999, 9999);
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(instrument.GetRootTable().count, 1);
    // One byte over 10 s late (the status, or a later byte) fails there and takes nothing after it.
    for (std::size_t late : {0u, 1u, 17u, 18u}) {
        SCOPED_TRACE(late);
        Bench b;
        b.port.AnswerHandshake();
        if (late == 0) {
            b.port.AfterSent(4, reply, 10000);
        } else {
            b.port.AfterSent(4, Bytes(reply.begin(), reply.begin() + late), 0, 9999);
            b.port.AfterSent(4, Bytes(reply.begin() + late, reply.end()), (late - 1) * 9999 + 10002);
        }
        EXPECT_EQ(b.instrument.ReadRootTable(), 1);
        EXPECT_EQ(b.port.Waiting(), reply.size() - late);
        EXPECT_EQ(b.instrument.GetRootTable().count, 0);
        EXPECT_EQ(b.port.Expected(), 1);  // the rest of a reply given up is no longer awaited
    }
}

// Every wait against its own time-out: the awaited byte 1 ms before it is taken, at it is not,
// and a late result byte is the operation's "no answer".
TEST_F(InstrumentProtocolTest, EveryWaitTakesAByteUpTo1MsBeforeItsTimeOut) {
    const struct {
        const char* wait;
        Op run;
        std::size_t sentBefore;  // handshake included
        Bytes before;            // bytes that come at once, ahead of the awaited one
        std::uint8_t awaited;
        std::uint64_t timeoutMs;
        std::uint8_t inTime, late;  // the results
    } waits[] = {
        {"handshake answer", readRoot, 2, {}, 0xA5, 500, 1, 1},
        {"status of 0x30", readRoot, 4, {}, 0x07, 10000, 1, 1},
        {"status of 0x31", readRecord, 5, {}, 0x07, 10000, 1, 1},
        {"status of 0x40", readCables, 4, {}, 0x07, 10000, 1, 1},
        {"result of 0x32", writeRecord, 274, {}, 0x07, 3000, 0x07, 1},
        {"further byte of 0x32", writeRecord, 274, {0x07}, 0x55, 2000, 0x07, 0x07},
        {"result of 0x33", deleteRecord, 5, {}, 0x07, 2000, 0x07, 2},
        {"further byte of 0x33", deleteRecord, 5, {0x07}, 0x55, 10000, 0x07, 0x07},
        {"result of 0x41", writeCables, 5, {}, 0x07, 10000, 0x07, 1},
    };
    for (const auto& w : waits) {
        for (const bool late : {false, true}) {
            SCOPED_TRACE(std::string(w.wait) + (late ? " at the time-out" : " 1 ms before it"));
            Bench b;
            if (w.sentBefore > 2) b.port.AnswerHandshake();
            b.port.AfterSent(w.sentBefore, w.before);
            b.port.AfterSent(w.sentBefore, {w.awaited}, w.timeoutMs - (late ? 0 : 1));
            EXPECT_EQ(w.run(b.instrument), late ? w.late : w.inTime);
            EXPECT_EQ(b.port.Waiting(), late ? 1u : 0u);  // the awaited byte taken or left
        }
    }
}

// Before each wait the port hears how much of the reply is still to come, so that it may sleep
// through a long reply; while that is more than one byte, no wait is longer than GatherWaitMs.
TEST_F(InstrumentProtocolTest, WaitsAnnounceTheRestOfTheReply) {
    std::vector<int> announced;  // one entry per change
    std::uint32_t longestGather = 0;
    InstrumentProtocol paced{port, clock.AsTickSource(), [&](std::uint32_t maxWaitMs) {
                                 if (maxWaitMs == 0) return;
                                 if (announced.empty() || announced.back() != port.Expected())
                                     announced.push_back(port.Expected());
                                 if (port.Expected() > 1) longestGather = std::max(longestGather, maxWaitMs);
                                 clock.Advance(1);
                             }};
    auto countdown = [](int from) {
        std::vector<int> v;
        for (int n = from; n >= 1; --n) v.push_back(n);
        return v;
    };
    port.AnswerNext(3, ReadReply(Bytes(256, 7)), 2, 2);
    ASSERT_EQ(paced.ReadRecord(1, &record_), 0);
    std::vector<int> expected{1};  // the status byte
    for (int n : countdown(257)) expected.push_back(n);
    EXPECT_EQ(announced, expected);

    announced.clear();
    port.AnswerNext(2, ReadReply(RootBody({"a", "b", "c"})), 2, 2);
    ASSERT_EQ(paced.ReadRootTable(), 0);
    expected = {1};  // status and count
    for (int n : countdown(3 * 16 + 1)) expected.push_back(n);
    EXPECT_EQ(announced, expected);

    announced.clear();
    Bytes cableBody(1 + 2 * 32, 'c');
    cableBody[0] = 2;
    port.AnswerNext(2, ReadReply(cableBody), 2, 2);
    ASSERT_EQ(paced.ReadCableTable(cables_), 0);
    expected = {1};
    for (int n : countdown(2 * 32 + 1)) expected.push_back(n);
    EXPECT_EQ(announced, expected);
    EXPECT_EQ(longestGather, 50u);
}

// Names cross the line in 866 and are 1251 on either side of it, also in a full table of 64
// cables (2051 bytes, the largest frame); the bytes beside the names travel as they are.
TEST_F(InstrumentProtocolTest, TablesCarryTheirNamesIn866) {
    port.AnswerNext(2, ReadReply(RootBody({Utf8ToAnsi("ЛИНИЯ 1"), Utf8ToAnsi("Б")})));
    ASSERT_EQ(instrument.ReadRootTable(), 0);
    const RootTable& root = instrument.GetRootTable();
    ASSERT_EQ(root.count, 2);
    for (int i = 0; i < 2; ++i) {
        const NameField name = PadName(Utf8ToAnsi(i == 0 ? "ЛИНИЯ 1" : "Б"));
        Bytes entry(name.begin(), name.end());
        entry.insert(entry.end(), {0x86, 0xE0});
        EXPECT_EQ(Bytes(root.entries[i].begin(), root.entries[i].end()), entry);
    }

    CableTable table;
    table.count = 64;
    for (int i = 0; i < 64; ++i)
        table.records[i] = test::MakeCable(i == 63 ? "ЖИЛА" : "К", 0xA0, 1.0f, 2.0f, 0xE0, 0x8F);
    const auto records = table.records;
    const std::size_t before = port.Sent().size();
    port.AnswerNext(2051, {0x00});
    ASSERT_EQ(instrument.WriteCableTable(table), 0);
    EXPECT_EQ(table.records, records);
    Bytes wire{0x41, 64};
    for (const CableRecord& r : records) {
        Bytes name = ToOem(Bytes(r.begin(), r.begin() + 14));
        wire.insert(wire.end(), name.begin(), name.end());
        wire.insert(wire.end(), r.begin() + 14, r.end());
    }
    wire.push_back(Sum(wire));
    EXPECT_EQ(Bytes(port.Sent().begin() + static_cast<std::ptrdiff_t>(before) + 2, port.Sent().end()), wire);

    port.AnswerNext(2, ReadReply(Bytes(wire.begin() + 1, wire.end() - 1)));
    CableTable back;
    const std::uint64_t start = clock.Now();
    ASSERT_EQ(instrument.ReadCableTable(back), 0);
    EXPECT_EQ(clock.Now(), start);  // every byte was there: the pump was never asked to wait
    EXPECT_EQ(back.count, 64);
    EXPECT_EQ(back.records, records);
}

TEST_F(InstrumentProtocolTest, FailedReadsLeaveTablesAndBuffersAsTheyWere) {
    port.AnswerNext(2, ReadReply(RootBody({"first", "second"})));
    ASSERT_EQ(instrument.ReadRootTable(), 0);
    const RootTable rootBefore = instrument.GetRootTable();

    const Bytes good = ReadReply(RootBody({"x", "y", "z"}));
    Bytes badSum = good;
    badSum.at(good.size() - 1) ^= 0x01;
    Bytes badStatus = good;
    badStatus[0] = 0x01;
    const Bytes tooMany = ReadReply(RootBody(std::vector<std::string>(201, "n")));
    for (const Bytes& reply : {Bytes{0xFF}, badSum, badStatus, tooMany}) {  // tooMany last: see below
        SCOPED_TRACE(reply.size());
        port.AnswerNext(2, reply);
        EXPECT_EQ(instrument.ReadRootTable(), 1);
        EXPECT_EQ(instrument.GetRootTable().count, rootBefore.count);
        EXPECT_EQ(instrument.GetRootTable().entries, rootBefore.entries);
    }

    // The next handshake discards what the failed read left unread.
    port.AnswerNext(2, ReadReply({0}));
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(port.Waiting(), 0u);
}

// A cancel ends the byte wait at once, whatever time-out it had left. The instrument may still be
// sending the rest of its reply: the next operation waits until the line has been quiet for 50 ms
// before its handshake, so those bytes cannot pass for the answer. A cancel while nothing runs
// touches nothing.
TEST(InstrumentProtocolCancel, EndsTheWaitAndTheNextOperationLetsTheLineSettle) {
    test::FakeClock clock;
    test::FakePort port{clock};
    std::uint64_t cancelAt = 0;
    InstrumentProtocol* protocol = nullptr;
    InstrumentProtocol instrument{port, clock.AsTickSource(), [&](std::uint32_t maxWaitMs) {
                                      clock.Advance(maxWaitMs > 0 ? 1 : 0);
                                      if (cancelAt != 0 && clock.Now() >= cancelAt)
                                          protocol->CancelExchange();
                                  }};
    protocol = &instrument;
    instrument.CancelExchange();  // idle: forgotten by the next operation

    // Record 0: the status, then the record 1 ms a byte; the instrument goes on
    // sending after the cancel at 20 ms (the last byte arrives at 149 ms).
    MeasurementRecord record{};
    const std::uint64_t start = clock.Now();
    port.AnswerNext(3, Bytes{0x00}, 0);
    port.AfterSent(5, Bytes(150, 0x11), 0, 1);
    cancelAt = start + 20;
    EXPECT_EQ(instrument.ReadRecord(0, &record), 1);
    EXPECT_LE(clock.Now() - start, 21u);
    EXPECT_FALSE(instrument.Busy());
    cancelAt = 0;

    // The handshake is answered the moment it is sent; a stale 0x11 taken for it would fail.
    port.AnswerNext(2, ReadReply(RootBody({"a"})));
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_GE(clock.Now(), start + 149 + 50);  // the last stale byte, then 50 ms of quiet
    EXPECT_EQ(instrument.GetRootTable().count, 1);
}

}  // namespace
}  // namespace zemrik
