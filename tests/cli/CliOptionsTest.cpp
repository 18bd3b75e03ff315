#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliOptions.h"
#include "CliRun.h"

namespace zemrik::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptionsTest, EveryCommandAndItsOptionsParse) {
    struct Case {
        Args args;
        CommandId command;
        std::string file;
        std::string detail;  // separator, output, or port path, whichever the command has
    };
    const std::vector<Case> cases = {
        {{"show", "a.zmk", "--json", "--decimal-separator", ","}, CommandId::Show, "a.zmk", ","},
        {{"show", "--", "--help"}, CommandId::Show, "--help", ""},
        {{"cables", "show", "--decimal-separator=<>", "a.cbl"}, CommandId::CablesShow, "a.cbl", "<>"},
        {{"--port", "/dev/ttyUSB0", "get", "-o", "out.zmk"}, CommandId::Get, "", "out.zmk"},
        {{"cables", "get", "--output", "out.cbl", "--port", "2"}, CommandId::CablesGet, "", "out.cbl"},
        {{"--port", "/dev/x", "list", "--port", "COM3", "--json"}, CommandId::List, "", "/dev/ttyS2"},
        {{"--port", "./sim.tty", "put", "a.zmk", "--records", "3,0,,3"},
         CommandId::Put,
         "a.zmk",
         "./sim.tty"},
        {{"--port=1", "delete", "1", "1", "255"}, CommandId::Delete, "", "/dev/ttyS0"},
        {{"cables", "put", "a.cbl", "--port", "/dev/x"}, CommandId::CablesPut, "a.cbl", "/dev/x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const ParseOutcome parsed = ParseCommandLine(c.args);
        ASSERT_TRUE(parsed.request) << parsed.err;
        const CliRequest& r = *parsed.request;
        EXPECT_EQ(r.command, c.command);
        EXPECT_EQ(r.file, c.file);
        const std::string detail = r.decimalSeparator  ? *r.decimalSeparator
                                   : !r.output.empty() ? r.output
                                                       : r.port.path;
        EXPECT_EQ(detail, c.detail);
    }
    EXPECT_TRUE(ParseCommandLine(cases[0].args).request->json);
    EXPECT_EQ(ParseCommandLine(cases[5].args).request->port.comNumber, 3);
    EXPECT_EQ(ParseCommandLine(cases[6].args).request->records, (std::vector<unsigned>{3, 0, 3}));
    EXPECT_EQ(ParseCommandLine(cases[7].args).request->numbers, (std::vector<std::uint8_t>{1, 1, 255}));
    EXPECT_FALSE(ParseCommandLine({"--port", "2", "put", "a.zmk"}).request->records);
}

TEST(CliOptionsTest, UsageErrorsExitWithTwoAndSayWhy) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{}, "a command is required"},
        {{"Show", "a.zmk"}, "Show"},
        {{"show"}, "FILE.zmk is required"},
        {{"show", "a.zmk", "b.zmk", "--json"}, "b.zmk"},
        {{"show", "a.zmk", "--bogus"}, "--bogus"},
        {{"show", "a.zmk", "--json=yes"}, "json"},
        {{"cables", "show", "a.cbl", "--decimal-separator", ""}, "must not be empty"},
        {{"list"}, "--port is required"},
        {{"--port", "0", "list"}, "not '0'"},
        {{"--port", "2", "show", "a.zmk"}, "--port is not an option of this command"},
        {{"--port", "2", "cables", "get"}, "--output is required"},
        {{"--port", "2", "put", "a.zmk", "--records", "1,x"}, "--records"},
        {{"--port", "2", "put", "a.zmk", "--records", ""}, "--records: must not be empty"},
        {{"--port", "2", "delete", "1", "256"}, "not in range 0 to 255"},
    };
    for (const auto& [args, why] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_FALSE(parsed.request);
        EXPECT_EQ(parsed.exitCode, 2);
        EXPECT_EQ(parsed.out, "");
        EXPECT_TRUE(parsed.err.starts_with("zemrik-cli: ")) << parsed.err;
        EXPECT_NE(parsed.err.find(why), std::string::npos) << parsed.err;
    }
}

TEST(CliOptionsTest, HelpGoesToStdoutWithExitZero) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{"--help"}, "Usage: zemrik-cli [OPTIONS] [SUBCOMMAND]"},
        {{"cables", "put", "-h"}, "Usage: zemrik-cli cables put [OPTIONS] FILE.cbl"},
    };
    for (const auto& [args, text] : cases) {
        const ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_FALSE(parsed.request);
        EXPECT_EQ(parsed.exitCode, 0);
        EXPECT_NE(parsed.out.find(text), std::string::npos) << parsed.out;
        EXPECT_EQ(parsed.err, "");
    }
}

// The program itself: output that cannot be written is not taken for success.
TEST(CliOptionsTest, TheProgramReportsLostOutput) {
    for (const char* redirect : {">/dev/full", ">&-"}) {
        // sh passes the arguments through untouched as "$@".
        test::ProcessResult lost = test::RunProcess(
            {"/bin/sh", "-c", std::string("exec \"$0\" \"$@\" ") + redirect, test::CliPath(), "--help"});
        EXPECT_TRUE(lost.Exited(1)) << redirect << "\n" << test::Describe(lost);
        EXPECT_NE(lost.err.find("zemrik-cli: cannot write the output"), std::string::npos) << lost.err;
    }
}

}  // namespace
}  // namespace zemrik::cli
