#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cables/CableTableFile.h"
#include "measurement/MeasurementFile.h"
#include "support/RecordBuilders.h"

namespace zemrik::test {
namespace {

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto list = std::make_unique<MeasurementList>();
        list->slots[list->count++] = RecordBuilder("ОДИН").Kind(KindRs).Value(rec::Rs, 1.0f);
        FileHeader header{};
        ASSERT_TRUE(WriteMeasurementFile(zmk_, *list, header));
        CableTable table;
        table.records[table.count++] = MakeCable("ТПП", 0, 1.0f, 2.0f, 3);
        ASSERT_TRUE(SaveTableFile(cbl_, table));
    }

    TempFolder folder_;
    const std::string zmk_ = folder_.File("a.zmk");
    const std::string cbl_ = folder_.File("a.cbl");
};

TEST_F(CommandLineTest, UsageErrorsExitWithTwoAndTheUsageOnStderr) {
    // clang-format off
    const std::vector<std::vector<std::string>> cases = {
        {}, {"frobnicate"}, {"show"}, {"show", zmk_, "--bogus"}, {"show", zmk_, "-x"}, {"show", zmk_, zmk_},
        {"show", zmk_, "--decimal-separator"}, {"show", zmk_, "--decimal-separator", ""},
        {"show", zmk_, "--decimal-separator="}, {"show", zmk_, "--json=yes"}, {"show", "--json"}, {"cables"},
        {"cables", "frobnicate", cbl_}, {"cables", "show"}, {"cables", "show", cbl_, "--bogus"},
        {"cables", "show", cbl_, "--decimal-separator", ""}, {"Show", zmk_}};
    // clang-format on
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        ProcessResult result = RunCli(args);
        EXPECT_TRUE(result.Exited(2)) << Describe(result);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
        EXPECT_NE(result.err.find("zemrik-cli show FILE.zmk"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(CommandLineTest, HelpGoesToStdout) {
    for (const auto& args : {std::vector<std::string>{"--help"}, {"-h"}, {"show", "--help"}}) {
        ProcessResult result = RunCli(args);
        ASSERT_TRUE(result.Exited(0)) << Describe(result);
        EXPECT_NE(result.out.find("zemrik-cli cables show FILE.cbl"), std::string::npos);
        EXPECT_EQ(result.err, "");
    }
    // After "--" a name that looks like an option is a file name.
    ProcessResult result = RunCli({"show", "--", "--help"});
    EXPECT_TRUE(result.Exited(1)) << Describe(result);
    EXPECT_EQ(result.err, "Не могу открыть файл --help !\n");
}

// Output that cannot be written must not look like success.
TEST_F(CommandLineTest, LostOutputIsAFailure) {
    const std::vector<std::vector<std::string>> commands = {{"show", zmk_},
                                                            {"show", zmk_, "--json"},
                                                            {"cables", "show", cbl_},
                                                            {"cables", "show", cbl_, "--json"},
                                                            {"--help"}};
    for (const char* redirect : {">/dev/full", ">&-"}) {
        for (const auto& command : commands) {
            // sh passes the arguments through untouched as "$@".
            std::vector<std::string> args{"/bin/sh", "-c", std::string("exec \"$0\" \"$@\" ") + redirect,
                                          CliPath()};
            args.insert(args.end(), command.begin(), command.end());
            ProcessOptions options;
            options.env.emplace_back("LC_ALL", "C");
            ProcessResult result = RunProcess(args, options);
            EXPECT_TRUE(result.started && !result.Exited(0)) << redirect << "\n" << Describe(result);
            EXPECT_NE(result.err.find("cannot write the output"), std::string::npos) << redirect << "\n"
                                                                                     << Describe(result);
        }
    }
}

}  // namespace
}  // namespace zemrik::test
