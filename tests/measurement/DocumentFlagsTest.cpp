// Every change of the list's two flags and the title, from each state a list can be in, and what
// closing then asks.
#include <gtest/gtest.h>

#include <functional>

#include "measurement/MeasurementDocument.h"
#include "support/FakeInstrument.h"
#include "support/RecordBuilders.h"
#include "support/ScriptedPrompt.h"

namespace zemrik {
namespace {

using A = PromptAnswer;

struct Bench {
    Bench() {
        for (const char* name : {"a.zmk", "b.zmk"}) {
            MeasurementList list;
            list.count = 2;
            list.slots[0] = list.slots[1] = test::RecordBuilder("R").Kind(1);
            FileHeader header{};
            EXPECT_TRUE(WriteMeasurementFile(dir.File(name), list, header));
        }
        instrument.records = {test::RecordBuilder("I1"), test::RecordBuilder("I2"),
                              test::RecordBuilder("I3")};
        doc.SetInstrument(&instrument);
    }
    // A modified list asks before it is replaced; No goes on without saving.
    void Open(const char* name, bool found = true) {
        if (doc.Modified()) prompt.answers.push_back(A::No);
        prompt.files.push_back(dir.File(found ? name : "none/x.zmk"));
        doc.Open();
    }
    void SaveTo(bool saveAs, const char* name) {
        prompt.files.push_back(name != nullptr ? std::optional(dir.File(name)) : std::nullopt);
        saveAs ? doc.SaveAs() : doc.Save();
    }
    void Rename(std::optional<std::string> name) {
        prompt.names.push_back(std::move(name));
        doc.Rename(0);
    }
    void Put(A answer, std::uint8_t result) {
        prompt.answers.push_back(answer);
        instrument.writeResults = {result};
        doc.Put({0});
    }

    test::TempFolder dir;
    test::ScriptedPrompt prompt;
    test::FakeInstrument instrument;
    MeasurementDocument doc{prompt};
};

TEST(DocumentFlags, EveryCommandSetsClearsOrKeepsThem) {
    using Step = std::function<void(Bench&)>;
    const Step fromFile = [](Bench& b) { b.Open("a.zmk"); };
    const Step fileChanged = [](Bench& b) {
        b.Open("a.zmk");
        b.Rename("NEW");
    };
    const Step fromInstrument = [](Bench& b) { b.doc.Get(); };
    const std::string inA = "Zemrik   [a.zmk]", inB = "Zemrik   [b.zmk]", plain = "Zemrik";
    struct Row {
        const char* what;
        Step start, step;
        bool modified, fromInstrument;
        std::string title;
    };
    const Row rows[] = {
        {"nothing yet", [](Bench&) {}, [](Bench&) {}, false, false, plain},
        {"changed, then opened", fileChanged, [](Bench& b) { b.Open("b.zmk"); }, false, false, inB},
        {"read, then opened", fromInstrument, [](Bench& b) { b.Open("b.zmk"); }, false, false, inB},
        {"changed, an open fails", fileChanged, [](Bench& b) { b.Open("b.zmk", false); }, true, false, inA},
        {"read, an open cancelled", fromInstrument,
         [](Bench& b) {
             b.prompt.answers = {A::No};
             b.prompt.files = {std::nullopt};
             b.doc.Open();
         },
         true, true, plain},
        {"changed, saved", fileChanged, [](Bench& b) { b.doc.Save(); }, false, false, inA},
        {"changed, saved as", fileChanged, [](Bench& b) { b.SaveTo(true, "b.zmk"); }, false, false, inB},
        {"read, saved", fromInstrument, [](Bench& b) { b.SaveTo(false, "b.zmk"); }, false, false, inB},
        {"read, save cancelled", fromInstrument, [](Bench& b) { b.SaveTo(false, nullptr); }, true, true,
         plain},
        {"read, save fails", fromInstrument, [](Bench& b) { b.SaveTo(true, "none/x.zmk"); }, true, true,
         plain},
        {"opened, read", fromFile, fromInstrument, true, true, plain},
        {"opened, the read fails", fromFile,
         [](Bench& b) {
             b.instrument.rootResult = 1;
             b.doc.Get();
         },
         false, false, inA},
        {"opened, the instrument empty", fromFile,
         [](Bench& b) {
             b.instrument.records.clear();
             b.doc.Get();
         },
         false, false, inA},
        {"opened, renamed", fromFile, [](Bench& b) { b.Rename("X"); }, true, false, inA},
        {"opened, rename cancelled", fromFile, [](Bench& b) { b.Rename(std::nullopt); }, false, false, inA},
        {"opened, nothing deleted", fromFile, [](Bench& b) { b.doc.Delete({}); }, true, false, inA},
        {"empty, nothing deleted", [](Bench&) {}, [](Bench& b) { b.doc.Delete({}); }, true, false, plain},
        {"read, deleted", fromInstrument, [](Bench& b) { b.doc.Delete({0}); }, true, true, plain},
        {"opened, put", fromFile, [](Bench& b) { b.Put(A::Yes, 0); }, false, false, inA},
        {"read, put refused", fromInstrument, [](Bench& b) { b.Put(A::Yes, 2); }, true, true, plain},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bench bench;
        row.start(bench);
        row.step(bench);
        EXPECT_EQ(bench.doc.Modified(), row.modified);
        EXPECT_EQ(bench.doc.FromInstrument(), row.fromInstrument);
        EXPECT_EQ(bench.doc.Title(), row.title);
        // Closing asks only about a modified list; Cancel keeps the window.
        bench.prompt = {};
        bench.prompt.answers = {A::Cancel};
        EXPECT_EQ(bench.doc.CloseQuery(), !row.modified);
        EXPECT_EQ(bench.prompt.Texts(), row.modified
                                            ? std::vector<std::string>{"Файл не сохранен! Сохранить?"}
                                            : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace zemrik
