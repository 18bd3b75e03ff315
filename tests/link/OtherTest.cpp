#include "link/Other.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "common/NameField.h"
#include "support/FakeClock.h"
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
Bytes ReadReply(const Bytes& body) {
    Bytes reply{0x00};
    reply.insert(reply.end(), body.begin(), body.end());
    reply.push_back(Sum(body));
    return reply;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes ToOem(Bytes bytes) {
    ConvertCodePage(bytes.data(), bytes.size(), CodePageDirection::AnsiToOem);
    return bytes;
}

using Op = std::function<std::uint8_t(Instrument&)>;

// A protocol over a scripted port. The fake clock moves one millisecond per waiting pump call,
// as if every wait took that long; a call that may not wait moves nothing.
struct Bench {
    FakeClock clock;
    FakePort port{clock};
    std::function<void()> duringPump;
    std::vector<std::uint32_t> waits;  // every pump call's maximum wait
    Instrument instrument{port, clock.AsTickSource(), [this](std::uint32_t maxWaitMs) {
                              waits.push_back(maxWaitMs);
                              clock.Advance(maxWaitMs > 0 ? 1 : 0);
                              if (duringPump) duringPump();
                          }};
};

class OtherTest : public ::testing::Test, public Bench {
protected:
    // A root table reply of `count` entries, names from `names` (1251 text converted to 866).
    static Bytes RootBody(const std::vector<std::string>& names) {
        Bytes body{static_cast<std::uint8_t>(names.size())};
        for (const std::string& n : names) {
            NameField field = PadName(n);
            Bytes entry(field.begin(), field.end());
            entry = ToOem(entry);
            entry.push_back(0x86);  // the two further bytes travel as they are, never converted
            entry.push_back(0xE0);
            body.insert(body.end(), entry.begin(), entry.end());
        }
        return body;
    }

    void LoadRootTable(const std::vector<std::string>& names) {
        port.AnswerNext(2, ReadReply(RootBody(names)));
        ASSERT_EQ(instrument.ReadRootTable(), 0);
    }

    // Every operation, on buffers of the test's own.
    MeasurementRecord record_{};
    CableTable cables_;
    const Op readRoot = [](Instrument& i) { return i.ReadRootTable(); };
    const Op readRecord = [this](Instrument& i) { return i.ReadRecord(1, &record_); };
    const Op writeRecord = [this](Instrument& i) { return i.WriteRecord("a", record_); };
    const Op deleteRecord = [](Instrument& i) { return i.DeleteRecord(0); };
    const Op readCables = [this](Instrument& i) { return i.ReadCableTable(cables_); };
    const Op writeCables = [this](Instrument& i) { return i.WriteCableTable(cables_); };
};

TEST_F(OtherTest, RequestFramesAreByteExact) {
    struct Case {
        const char* what;
        Op run;
        Bytes frame;
        std::uint8_t failure;
    };
    const std::vector<Case> cases = {
        {"read root table", readRoot, {0x30, 0x30}, 1},
        {"read record 1", readRecord, {0x31, 0x01, 0x32}, 1},
        {"read record 0xF0 (checksum wraps)",
         [this](Instrument& i) { return i.ReadRecord(0xF0, &record_); },
         {0x31, 0xF0, 0x21},
         1},
        {"delete record 2", [](Instrument& i) { return i.DeleteRecord(2); }, {0x33, 0x02, 0x35}, 2},
        {"read cable table", readCables, {0x40, 0x40}, 1},
        {"write empty cable table", writeCables, {0x41, 0x00, 0x41}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.port.AnswerHandshake();  // then silence: every operation ends in a time-out
        EXPECT_EQ(c.run(b.instrument), c.failure);
        // The handshake bytes come first and belong to no frame.
        EXPECT_EQ(b.port.Sent(), Concat({{0x55, 0xAA}, c.frame}));
        EXPECT_EQ(b.port.InFlushes(), 1);
        EXPECT_EQ(b.port.OutFlushes(), 1);
        EXPECT_FALSE(b.instrument.Busy());
    }
}

TEST_F(OtherTest, WriteRecordSendsNameAndConvertedCopyWithChecksum) {
    struct Case {
        std::string name;  // 1251 bytes as given by the caller
        std::string wire;  // what goes on the line before conversion to 866
    };
    const std::vector<Case> cases = {
        {"abc", "abc           "},
        {"exactly14chars", "exactly14chars"},
        {"a name far longer than fourteen", "a name far lon"},
        {"", "              "},
        {std::string("ab\0cd", 5), "ab            "},  // the text ends at its NUL
        {Utf8ToAnsi("Кабель №1"), Utf8ToAnsi("Кабель №1     ")},
    };
    MeasurementRecord record = test::RecordBuilder("")
                                   .Filler(7)
                                   .Kind(KindCR)
                                   .Sections(2)
                                   .Section(0, "ТПП 10х2", 0, 45, 90, 100, 50)
                                   .Section(1, "", 1, 40, 95, 200, 60)
                                   .Section(2, "Ёлка", 1, 1, 1, 1, 1)
                                   .Build();
    // Names of characters 866 has no place for: the caller must still get them back unchanged.
    for (std::size_t k = 0; k < 14; ++k) {
        record[k] = static_cast<std::uint8_t>(0x80 + k);
        record[SectionOffset(1) + k] = static_cast<std::uint8_t>(0x8E + k * 3);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire);
        MeasurementRecord caller = record;
        Bench b;
        b.port.AnswerNext(272, {0x00, 0x17});
        EXPECT_EQ(b.instrument.WriteRecord(c.name, caller), 0);

        const Bytes& sent = b.port.Sent();
        ASSERT_EQ(sent.size(), 2u + 272u);
        Bytes frame(sent.begin() + 2, sent.end());
        EXPECT_EQ(frame[0], 0x32);
        EXPECT_EQ(Bytes(frame.begin() + 1, frame.begin() + 15), ToOem(Bytes(c.wire.begin(), c.wire.end())));
        // The record goes out with its name and its two sections' names in 866; the third
        // section name (not part of the record) and every other byte go out as they are.
        MeasurementRecord expected = record;
        for (std::size_t off : {std::size_t{0}, SectionOffset(0), SectionOffset(1)}) {
            ConvertCodePage(expected.data() + off, 14, CodePageDirection::AnsiToOem);
        }
        EXPECT_EQ(Bytes(frame.begin() + 15, frame.begin() + 271), Bytes(expected.begin(), expected.end()));
        EXPECT_EQ(frame[271], Sum(Bytes(frame.begin(), frame.begin() + 271)));
        EXPECT_EQ(caller, record);
    }
}

TEST_F(OtherTest, HandshakeFailuresStopEveryOperationBeforeItsRequest) {
    struct Fault {
        const char* what;
        std::optional<std::uint8_t> answer;
        std::uint64_t delayMs;
        bool ok;
    };
    const std::vector<Fault> faults = {
        {"A5 at once", 0xA5, 0, true},
        {"A5 at 499 ms", 0xA5, 499, true},
        {"A5 at 500 ms is late", 0xA5, 500, false},
        {"wrong byte", 0x5A, 0, false},
        {"silence", std::nullopt, 0, false},
    };
    const std::vector<std::pair<Op, std::uint8_t>> ops = {{readRoot, 1},    {readRecord, 1},
                                                          {writeRecord, 1}, {deleteRecord, 2},
                                                          {readCables, 1},  {writeCables, 1}};
    for (const Fault& f : faults) {
        for (std::size_t k = 0; k < ops.size(); ++k) {
            SCOPED_TRACE(std::string(f.what) + " / operation " + std::to_string(k));
            Bench b;
            if (f.answer) b.port.AnswerHandshake(0, *f.answer, f.delayMs);
            const std::uint64_t start = b.clock.Now();
            const std::uint8_t result = ops[k].first(b.instrument);
            if (f.ok) {
                EXPECT_GT(b.port.Sent().size(), 2u);  // the request went out (and then timed out)
            } else {
                EXPECT_EQ(result, ops[k].second);
                EXPECT_EQ(b.port.Sent(), (Bytes{0x55, 0xAA}));
                if (!f.answer || f.delayMs > 0) {
                    EXPECT_EQ(b.clock.Now() - start, 500u);  // one handshake time-out, no retry
                }
            }
        }
    }
}

TEST_F(OtherTest, EachReplyByteHasItsOwnTimeOut) {
    // A one-entry root table whose bytes come 9.999 s apart still arrives: 19 bytes in ~3 min.
    const Bytes reply = ReadReply(RootBody({"slow"}));
    ASSERT_EQ(reply.size(), 19u);
    port.AnswerNext(2, reply, 9999, 9999);
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(instrument.GetRootTable().count, 1);
    EXPECT_GE(clock.Now(), 1000u + 19 * 9999);

    // The same reply with one byte late (the status exactly 10 s after the request, any later
    // byte a little over 10 s after the one before it) fails there and takes nothing after it.
    for (std::size_t late : {0u, 1u, 2u, 9u, 17u, 18u}) {
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

TEST_F(OtherTest, PumpMayWaitUntilTheByteIsDueAndNotBetweenBytesAlreadyThere) {
    port.AnswerHandshake(0, 0xA5, 3);
    port.AfterSent(4, ReadReply(RootBody({"a"})));
    ASSERT_EQ(instrument.ReadRootTable(), 0);
    std::vector<std::uint32_t> expected{500, 499, 498};
    expected.insert(expected.end(), 16, 0);  // after each of the entry's 16 bytes
    EXPECT_EQ(waits, expected);
}

TEST_F(OtherTest, ResultTimeOutsOfTheWriteOperations) {
    struct Case {
        const char* what;
        Op run;
        std::size_t requestSize;
        Bytes reply;
        std::uint64_t delayMs;
        std::uint64_t gapMs;
        std::uint8_t expected;
        std::uint64_t minElapsed;  // fake milliseconds the operation must have waited
    };
    const std::vector<Case> cases = {
        {"write record: result at 2999 ms", writeRecord, 272, {0x00, 0x00}, 2999, 0, 0, 2999},
        {"write record: result at 3000 ms is too late", writeRecord, 272, {0x00, 0x00}, 3000, 0, 1, 3000},
        {"write record: no further byte, still the result", writeRecord, 272, {0x02}, 0, 0, 2, 2000},
        {"write record: further byte ignored", writeRecord, 272, {0x01, 0xFF}, 0, 1999, 1, 1999},
        {"write record: reply byte 3 returned as is", writeRecord, 272, {0x03, 0x00}, 0, 0, 3, 0},
        {"delete: result at 1999 ms", deleteRecord, 3, {0x00, 0x00}, 1999, 0, 0, 1999},
        {"delete: result at 2000 ms is too late", deleteRecord, 3, {0x00}, 2000, 0, 2, 2000},
        {"delete: result without further byte waits 10 s", deleteRecord, 3, {0x01}, 0, 0, 1, 10000},
        {"delete: reply byte 7", deleteRecord, 3, {0x07, 0x00}, 0, 0, 7, 0},
        {"write cable table: result at 9999 ms", writeCables, 3, {0x00}, 9999, 0, 0, 9999},
        {"write cable table: result at 10000 ms is too late", writeCables, 3, {0x00}, 10000, 0, 1, 10000},
        {"write cable table: no room", writeCables, 3, {0x02}, 0, 0, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        b.port.AnswerNext(c.requestSize, c.reply, c.delayMs, c.gapMs);
        const std::uint64_t start = b.clock.Now();
        EXPECT_EQ(c.run(b.instrument), c.expected);
        EXPECT_GE(b.clock.Now() - start, c.minElapsed);
        EXPECT_EQ(b.port.GetCharsWithoutReady(), 0);
    }
}

TEST_F(OtherTest, FailedReadsLeaveTablesAndBuffersAsTheyWere) {
    LoadRootTable({"first", "second"});
    const RootTable rootBefore = instrument.GetRootTable();

    const Bytes goodRoot = ReadReply(RootBody({"x", "y", "z"}));
    Bytes badSum = goodRoot;
    badSum.back() = static_cast<std::uint8_t>(badSum.back() + 1);
    Bytes sumWithRequest = goodRoot;  // as if the request bytes 0x30 0x30 had been counted too
    sumWithRequest.back() = static_cast<std::uint8_t>(sumWithRequest.back() + 0x60);
    Bytes tooMany = ReadReply(RootBody(std::vector<std::string>(201, "n")));

    struct Case {
        const char* what;
        Bytes reply;
        std::size_t leftUnread;  // bytes of the reply the failed read must not have taken
    };
    const std::vector<Case> cases = {
        {"status 1", Concat({{0x01}, Bytes(goodRoot.begin() + 1, goodRoot.end())}), goodRoot.size() - 1},
        {"status 0xFF alone", {0xFF}, 0},
        {"checksum off by one", badSum, 0},
        {"checksum that includes the request", sumWithRequest, 0},
        {"reply cut inside the entries", Bytes(goodRoot.begin(), goodRoot.begin() + 20), 0},
        {"reply cut before the checksum", Bytes(goodRoot.begin(), goodRoot.end() - 1), 0},
        {"nothing after the handshake", {}, 0},
        {"count 201", tooMany, tooMany.size() - 2},
        {"count 255 and nothing else", {0x00, 0xFF}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port.AnswerNext(2, c.reply);
        EXPECT_EQ(instrument.ReadRootTable(), 1);
        EXPECT_EQ(port.Waiting(), c.leftUnread);
        const RootTable& now = instrument.GetRootTable();
        EXPECT_EQ(now.count, rootBefore.count);
        EXPECT_EQ(now.entries, rootBefore.entries);
    }

    // The record buffer and the cable table likewise.
    MeasurementRecord buffer;
    buffer.fill(0x5C);
    CableTable cables;
    cables.count = 1;
    cables.records[0] = test::MakeCable("Старый", 0, 1, 2, 3, 0x77);
    cables.records[5].fill(0x42);
    const CableTable cablesBefore = cables;
    MeasurementRecord recordBody{};
    recordBody.fill(0x33);
    Bytes recordReply = ReadReply(Bytes(recordBody.begin(), recordBody.end()));
    recordReply.back() ^= 0x01;
    Bytes cableReply = ReadReply(Concat({{65}, Bytes(65 * 32, 0x31)}));

    port.AnswerNext(3, recordReply);
    EXPECT_EQ(instrument.ReadRecord(3, &buffer), 1);
    for (std::uint8_t byte : buffer) ASSERT_EQ(byte, 0x5C);

    port.AnswerNext(2, cableReply);
    EXPECT_EQ(instrument.ReadCableTable(cables), 1);
    EXPECT_EQ(port.Waiting(), 65u * 32 + 1);  // nothing taken after the count
    EXPECT_EQ(cables.count, cablesBefore.count);
    EXPECT_EQ(cables.records, cablesBefore.records);
}

TEST_F(OtherTest, BytesLeftFromAFailedReadAreDiscardedByTheNextHandshake) {
    port.AnswerNext(3, {0x03, 0x11, 0x22, 0x33});  // a non-zero status with stray bytes behind it
    MeasurementRecord r{};
    EXPECT_EQ(instrument.ReadRecord(0, &r), 1);
    EXPECT_EQ(port.Waiting(), 3u);

    port.AnswerNext(2, ReadReply({0}));
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    EXPECT_EQ(instrument.GetRootTable().count, 0);
    EXPECT_EQ(port.Waiting(), 0u);
}

TEST_F(OtherTest, NamesAreConvertedExactlyWhereTheyAreInFullTables) {
    // Every field is filled with 866 Cyrillic; only the name and the first min(n, 5) section
    // names may change.
    struct Case {
        int storedSections;
        int converted;
    };
    for (const Case c : {Case{0, 0}, Case{2, 2}, Case{5, 5}, Case{6, 5}, Case{15, 5}}) {
        SCOPED_TRACE(c.storedSections);
        MeasurementRecord wire;
        for (std::size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<std::uint8_t>(0x80 + i % 0x70);
        wire[rec::KindSections] = static_cast<std::uint8_t>(c.storedSections << 4 | KindRs);
        MeasurementRecord expected = wire;
        ConvertCodePage(expected.data(), 14, CodePageDirection::OemToAnsi);
        for (int s = 0; s < c.converted; ++s) {
            ConvertCodePage(expected.data() + SectionOffset(s), 14, CodePageDirection::OemToAnsi);
        }
        port.AnswerNext(3, ReadReply(Bytes(wire.begin(), wire.end())));
        MeasurementRecord buffer{};
        ASSERT_EQ(instrument.ReadRecord(7, &buffer), 0);
        EXPECT_EQ(buffer, expected);
    }

    // Root table: the 14 name bytes only, in a full table of 200 (the empty one is read elsewhere).
    std::vector<std::string> names(199, "n");
    names.push_back(Utf8ToAnsi("Замер Ёж №5"));
    LoadRootTable(names);
    ASSERT_EQ(instrument.GetRootTable().count, 200);
    const RootEntry& entry = instrument.GetRootTable().entries[199];
    EXPECT_EQ(TrimName(entry.data()), Utf8ToAnsi("Замер Ёж №5"));
    EXPECT_EQ(entry[14], 0x86);
    EXPECT_EQ(entry[15], 0xE0);

    // A full cable table: the 14 name bytes of each record only.
    CableRecord cable = test::MakeCable("ТПП-Ал", 1, 40, 90, 50, 0xA0);
    CableRecord wireCable = cable;
    ConvertCodePage(wireCable.data(), 14, CodePageDirection::AnsiToOem);
    Bytes body{64};
    for (int i = 0; i < 64; ++i) body.insert(body.end(), wireCable.begin(), wireCable.end());
    CableTable table;
    port.AnswerNext(2, ReadReply(body));
    ASSERT_EQ(instrument.ReadCableTable(table), 0);
    EXPECT_EQ(table.count, 64);
    EXPECT_EQ(table.records[0], cable);
    EXPECT_EQ(table.records[63], cable);
}

TEST_F(OtherTest, WriteCableTableSendsConvertedCopiesAndRefusesBadInput) {
    CableTable table;
    table.count = 2;
    table.records[0] = test::MakeCable("Медь 0,4", 0, 45.5f, 139.f, 40, 0xC8);
    table.records[1] = test::MakeCable("Алюм", 7, 50.f, 200.f, 90, 0xFE);
    table.records[2] = test::MakeCable("unused", 0, 1, 1, 1);
    const CableTable before = table;

    port.AnswerNext(2 + 64 + 1, {0x00});
    EXPECT_EQ(instrument.WriteCableTable(table), 0);
    Bytes expected{0x41, 0x02};
    for (int i = 0; i < 2; ++i) {
        CableRecord wire = before.records[i];
        ConvertCodePage(wire.data(), 14, CodePageDirection::AnsiToOem);
        expected.insert(expected.end(), wire.begin(), wire.end());
    }
    expected.push_back(Sum(expected));
    EXPECT_EQ(Bytes(port.Sent().begin() + 2, port.Sent().end()), expected);
    EXPECT_EQ(table.records, before.records);

    // A count the table cannot hold is refused before anything is sent.
    // So is a read without a buffer.
    table.count = 65;
    const std::size_t sentBefore = port.Sent().size();
    EXPECT_EQ(instrument.WriteCableTable(table), 1);
    EXPECT_EQ(instrument.ReadRecord(0, nullptr), 1);
    EXPECT_EQ(port.Sent().size(), sentBefore);
    EXPECT_EQ(port.InFlushes(), 1);
}

TEST_F(OtherTest, SecondOperationFromThePumpIsRefusedAtOnce) {
    LoadRootTable({"kept"});
    const RootTable rootBefore = instrument.GetRootTable();
    MeasurementRecord buffer;
    buffer.fill(0x99);
    CableTable cables;
    cables.count = 1;
    cables.records[0] = test::MakeCable("kept", 0, 1, 2, 3);
    const CableTable cablesBefore = cables;

    // The outer read waits 50 ms for its status; meanwhile the pump tries every operation.
    const std::size_t base = port.Sent().size();
    port.AnswerNext(2, ReadReply(RootBody({"new one", "new two"})), 50);
    std::vector<std::uint8_t> nestedResults;
    bool tried = false;
    duringPump = [&] {
        if (tried || !instrument.Busy() || port.Sent().size() != base + 4) return;
        tried = true;
        const std::size_t sentBefore = port.Sent().size();
        const std::uint8_t checksumBefore = instrument.Checksum();
        const std::uint64_t clockBefore = clock.Now();
        nestedResults = {
            instrument.ReadRootTable(),          instrument.ReadRecord(0, &buffer),
            instrument.WriteRecord("x", buffer), instrument.DeleteRecord(0),
            instrument.ReadCableTable(cables),   instrument.WriteCableTable(cables),
        };
        EXPECT_EQ(port.Sent().size(), sentBefore);
        EXPECT_EQ(instrument.Checksum(), checksumBefore);
        EXPECT_EQ(clock.Now(), clockBefore);  // refused at once: no waiting
        EXPECT_TRUE(instrument.Busy());
    };
    EXPECT_EQ(instrument.ReadRootTable(), 0);
    duringPump = nullptr;

    ASSERT_TRUE(tried);
    EXPECT_EQ(nestedResults, (Bytes{1, 1, 1, 2, 1, 1}));
    EXPECT_FALSE(instrument.Busy());
    EXPECT_EQ(instrument.GetRootTable().count, 2);
    EXPECT_NE(instrument.GetRootTable().entries[0], rootBefore.entries[0]);
    for (std::uint8_t b : buffer) ASSERT_EQ(b, 0x99);
    EXPECT_EQ(cables.count, cablesBefore.count);
    EXPECT_EQ(cables.records, cablesBefore.records);
}

}  // namespace
}  // namespace zemrik
