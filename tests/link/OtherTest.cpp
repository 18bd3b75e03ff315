#include "link/Other.h"

#include <gtest/gtest.h>

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

using test::FakeClock;
using test::FakePort;
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

using Op = std::function<std::uint8_t(Instrument&)>;

// The protocol over a scripted port; every pump call that may wait moves the clock 1 ms.
struct Bench {
    FakeClock clock;
    FakePort port{clock};
    std::function<void()> duringPump;
    std::vector<std::uint32_t> waits;
    Instrument instrument{port, clock.AsTickSource(), [this](std::uint32_t maxWaitMs) {
                              waits.push_back(maxWaitMs);
                              clock.Advance(maxWaitMs > 0 ? 1 : 0);
                              if (duringPump) duringPump();
                          }};
};

class OtherTest : public ::testing::Test, public Bench {
protected:
    MeasurementRecord record_{};
    CableTable cables_;
    const Op readRoot = [](Instrument& i) { return i.ReadRootTable(); };
    const Op readRecord = [this](Instrument& i) { return i.ReadRecord(0xF0, &record_); };
    const Op writeRecord = [this](Instrument& i) { return i.WriteRecord("a", record_); };
    const Op deleteRecord = [](Instrument& i) { return i.DeleteRecord(2); };
    const Op readCables = [this](Instrument& i) { return i.ReadCableTable(cables_); };
    const Op writeCables = [this](Instrument& i) { return i.WriteCableTable(cables_); };
};

// Each operation's request frame, and its stop before the request on any handshake fault.
TEST_F(OtherTest, RequestFramesAndHandshakeFaults) {
    const struct {
        Op run;
        Bytes frame;  // empty: only the frame's first byte is checked
        std::uint8_t failure;
    } ops[] = {
        {readRoot, {0x30, 0x30}, 1},   {readRecord, {0x31, 0xF0, 0x21}, 1},  // the checksum wraps
        {writeRecord, {}, 1},          {deleteRecord, {0x33, 0x02, 0x35}, 2},
        {readCables, {0x40, 0x40}, 1}, {writeCables, {0x41, 0x00, 0x41}, 1},
    };
    const struct {
        std::optional<std::uint8_t> answer;
        std::uint64_t delayMs;
    } handshakes[] = {{0xA5, 499}, {0xA5, 500}, {0x5A, 0}, {std::nullopt, 0}};
    for (std::size_t k = 0; k < std::size(ops); ++k) {
        for (const auto& h : handshakes) {
            SCOPED_TRACE(std::to_string(k) + " / " + std::to_string(h.answer.value_or(0)) + " at " +
                         std::to_string(h.delayMs));
            Bench b;
            if (h.answer) b.port.AnswerHandshake(0, *h.answer, h.delayMs);
            const std::uint64_t start = b.clock.Now();
            EXPECT_EQ(ops[k].run(b.instrument), ops[k].failure);  // after the handshake, silence
            EXPECT_FALSE(b.instrument.Busy());
            const Bytes& sent = b.port.Sent();
            ASSERT_GE(sent.size(), 2u);
            EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 2), (Bytes{0x55, 0xAA}));
            if (h.answer == 0xA5 && h.delayMs < 500) {
                if (ops[k].frame.empty()) {
                    EXPECT_EQ(sent.size(), 2u + 272u);
                } else {
                    EXPECT_EQ(Bytes(sent.begin() + 2, sent.end()), ops[k].frame);
                }
            } else {
                EXPECT_EQ(sent.size(), 2u);
                EXPECT_EQ(b.clock.Now() - start, h.answer == 0x5A ? 0u : 500u);  // no retry
            }
        }
    }
}

TEST_F(OtherTest, WriteRecordSendsNameAndConvertedCopyWithChecksum) {
    const struct {
        std::string name;  // 1251, as the caller gives it
        std::string wire;  // before conversion to 866
    } cases[] = {
        {"a name far longer than fourteen", "a name far lon"},
        {std::string("ab\0cd", 5), "ab            "},  // the text ends at its NUL
        {Utf8ToAnsi("Кабель №1"), Utf8ToAnsi("Кабель №1     ")},
    };
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

TEST_F(OtherTest, EachReplyByteHasItsOwnTimeOut) {
    // Bytes 9.999 s apart still make a reply, and the pump is told how long it may sleep.
    const Bytes reply = ReadReply(RootBody({"slow"}));
    port.AnswerHandshake(0, 0xA5, 3);
    port.AfterSent(4, reply, 9999, 9999);
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(instrument.GetRootTable().count, 1);
    ASSERT_GE(waits.size(), 5u);
    EXPECT_EQ(std::vector<std::uint32_t>(waits.begin(), waits.begin() + 5),
              (std::vector<std::uint32_t>{500, 499, 498, 10000, 9999}));

    // One byte late (the status 10 s after the request, a later byte just over 10 s after the one
    // before) fails there and takes nothing after it.
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
    }
}

TEST_F(OtherTest, ResultTimeOutsOfTheWriteOperations) {
    const struct {
        Op run;
        std::size_t requestSize;
        Bytes reply;
        std::uint64_t delayMs, gapMs;
        std::uint8_t expected;
        std::uint64_t minElapsed;  // fake milliseconds the operation must have waited
    } cases[] = {
        {writeRecord, 272, {0x00, 0x00}, 2999, 0, 0, 2999},
        {writeRecord, 272, {0x00, 0x00}, 3000, 0, 1, 3000},
        {writeRecord, 272, {0x02}, 0, 0, 2, 2000},
        {writeRecord, 272, {0x03, 0xFF}, 0, 1999, 3, 1999},
        {deleteRecord, 3, {0x00, 0x00}, 1999, 0, 0, 1999},
        {deleteRecord, 3, {0x00}, 2000, 0, 2, 2000},
        {deleteRecord, 3, {0x01}, 0, 0, 1, 10000},
        {deleteRecord, 3, {0x07, 0x00}, 0, 0, 7, 0},
        {writeCables, 3, {0x00}, 9999, 0, 0, 9999},
        {writeCables, 3, {0x00}, 10000, 0, 1, 10000},
        {writeCables, 3, {0x02}, 0, 0, 2, 0},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        Bench b;
        b.port.AnswerNext(cases[k].requestSize, cases[k].reply, cases[k].delayMs, cases[k].gapMs);
        const std::uint64_t start = b.clock.Now();
        EXPECT_EQ(cases[k].run(b.instrument), cases[k].expected);
        EXPECT_GE(b.clock.Now() - start, cases[k].minElapsed);
    }
}

TEST_F(OtherTest, FailedReadsLeaveTablesAndBuffersAsTheyWere) {
    port.AnswerNext(2, ReadReply(RootBody({"first", "second"})));
    ASSERT_EQ(instrument.ReadRootTable(), 0);
    const RootTable rootBefore = instrument.GetRootTable();

    const Bytes good = ReadReply(RootBody({"x", "y", "z"}));
    Bytes badSum = good;
    badSum.back() = static_cast<std::uint8_t>(badSum.back() + 1);
    Bytes sumWithRequest = good;  // as if the request bytes 0x30 0x30 had been counted too
    sumWithRequest.back() = static_cast<std::uint8_t>(sumWithRequest.back() + 0x60);
    Bytes badStatus = good;
    badStatus[0] = 0x01;
    const Bytes tooMany = ReadReply(RootBody(std::vector<std::string>(201, "n")));
    const struct {
        Bytes reply;
        std::size_t leftUnread;  // bytes of the reply the failed read must not have taken
    } cases[] = {
        {{0xFF}, 0},
        {badSum, 0},
        {sumWithRequest, 0},
        {Bytes(good.begin(), good.begin() + 20), 0},
        {{0x00, 0xFF}, 0},
        {{}, 0},
        {badStatus, good.size() - 1},
        {tooMany, tooMany.size() - 2},  // last: its leftovers meet the next handshake below
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply.size());
        port.AnswerNext(2, c.reply);
        EXPECT_EQ(instrument.ReadRootTable(), 1);
        EXPECT_EQ(port.Waiting(), c.leftUnread);
        EXPECT_EQ(instrument.GetRootTable().count, rootBefore.count);
        EXPECT_EQ(instrument.GetRootTable().entries, rootBefore.entries);
    }

    // The next handshake discards what the failed read left unread.
    port.AnswerNext(2, ReadReply({0}));
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(port.Waiting(), 0u);

    // The record buffer and the cable table likewise.
    MeasurementRecord buffer;
    buffer.fill(0x5C);
    Bytes recordReply = ReadReply(Bytes(256, 0x33));
    recordReply.back() ^= 0x01;
    port.AnswerNext(3, recordReply);
    EXPECT_EQ(instrument.ReadRecord(3, &buffer), 1);
    for (std::uint8_t byte : buffer) ASSERT_EQ(byte, 0x5C);
    EXPECT_EQ(instrument.ReadRecord(0, nullptr), 1);

    cables_.count = 1;
    cables_.records[0] = test::MakeCable("Старый", 0, 1, 2, 3, 0x77);
    const CableTable cablesBefore = cables_;
    Bytes cableBody{65};
    cableBody.resize(1 + 65 * 32, 0x31);
    port.AnswerNext(2, ReadReply(cableBody));
    EXPECT_EQ(readCables(instrument), 1);
    EXPECT_EQ(port.Waiting(), 65u * 32 + 1);  // nothing taken after the count
    EXPECT_EQ(cables_.records, cablesBefore.records);
    EXPECT_EQ(cables_.count, 1);
}

TEST_F(OtherTest, NamesAreConvertedExactlyWhereTheyAreInFullTables) {
    // Every field 866 Cyrillic: only the name and the first min(n, 5) section names change.
    for (const int sections : {0, 2, 5, 15}) {
        SCOPED_TRACE(sections);
        MeasurementRecord wire;
        for (std::size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<std::uint8_t>(0x80 + i % 0x70);
        wire[rec::KindSections] = static_cast<std::uint8_t>(sections << 4 | KindRs);
        MeasurementRecord expected = wire;
        ConvertCodePage(expected.data(), 14, CodePageDirection::OemToAnsi);
        for (int s = 0; s < std::min(sections, 5); ++s)
            ConvertCodePage(expected.data() + SectionOffset(s), 14, CodePageDirection::OemToAnsi);
        port.AnswerNext(3, ReadReply(Bytes(wire.begin(), wire.end())));
        MeasurementRecord buffer{};
        ASSERT_EQ(instrument.ReadRecord(7, &buffer), 0);
        EXPECT_EQ(buffer, expected);
    }

    std::vector<std::string> names(199, "n");
    names.push_back(Utf8ToAnsi("Замер Ёж №5"));
    port.AnswerNext(2, ReadReply(RootBody(names)));
    ASSERT_EQ(instrument.ReadRootTable(), 0);
    ASSERT_EQ(instrument.GetRootTable().count, 200);
    const RootEntry& entry = instrument.GetRootTable().entries[199];
    EXPECT_EQ(TrimName(entry.data()), Utf8ToAnsi("Замер Ёж №5"));
    EXPECT_EQ(entry[14], 0x86);
    EXPECT_EQ(entry[15], 0xE0);

    const CableRecord cable = test::MakeCable("ТПП-Ал", 1, 40, 90, 50, 0xA0);
    CableRecord wireCable = cable;
    ConvertCodePage(wireCable.data(), 14, CodePageDirection::AnsiToOem);
    Bytes body{64};
    for (int i = 0; i < 64; ++i) body.insert(body.end(), wireCable.begin(), wireCable.end());
    port.AnswerNext(2, ReadReply(body));
    ASSERT_EQ(readCables(instrument), 0);
    EXPECT_EQ(cables_.count, 64);
    EXPECT_EQ(cables_.records[63], cable);
}

TEST_F(OtherTest, WriteCableTableSendsConvertedCopiesAndRefusesBadCounts) {
    cables_.count = 2;
    cables_.records[0] = test::MakeCable("Медь 0,4", 0, 45.5f, 139.f, 40, 0xC8);
    cables_.records[1] = test::MakeCable("Алюм", 7, 50.f, 200.f, 90, 0xFE);
    const CableTable before = cables_;
    port.AnswerNext(2 + 64 + 1, {0x00});
    EXPECT_EQ(writeCables(instrument), 0);
    Bytes expected{0x41, 0x02};
    for (int i = 0; i < 2; ++i) {
        CableRecord wire = before.records[i];
        ConvertCodePage(wire.data(), 14, CodePageDirection::AnsiToOem);
        expected.insert(expected.end(), wire.begin(), wire.end());
    }
    expected.push_back(Sum(expected));
    EXPECT_EQ(Bytes(port.Sent().begin() + 2, port.Sent().end()), expected);
    EXPECT_EQ(cables_.records, before.records);

    cables_.count = 65;  // refused before anything is sent
    const std::size_t sentBefore = port.Sent().size();
    EXPECT_EQ(writeCables(instrument), 1);
    EXPECT_EQ(port.Sent().size(), sentBefore);
}

TEST_F(OtherTest, SecondOperationFromThePumpIsRefusedAtOnce) {
    record_.fill(0x99);
    const MeasurementRecord recordBefore = record_;
    port.AnswerNext(2, ReadReply(RootBody({"new one", "new two"})), 50);
    Bytes nested;
    duringPump = [&] {
        if (!nested.empty() || port.Sent().size() != 4) return;
        const std::uint64_t clockBefore = clock.Now();
        for (const Op& op : {readRoot, readRecord, writeRecord, deleteRecord, readCables, writeCables})
            nested.push_back(op(instrument));
        EXPECT_EQ(port.Sent().size(), 4u);
        EXPECT_EQ(clock.Now(), clockBefore);  // no waiting
        EXPECT_TRUE(instrument.Busy());
    };
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    duringPump = nullptr;
    EXPECT_EQ(nested, (Bytes{1, 1, 1, 2, 1, 1}));
    EXPECT_FALSE(instrument.Busy());
    EXPECT_EQ(instrument.GetRootTable().count, 2);
    EXPECT_EQ(record_, recordBefore);
}

}  // namespace
}  // namespace zemrik
