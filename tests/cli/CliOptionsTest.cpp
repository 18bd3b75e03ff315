#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliOptions.h"

namespace zemrik::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptionsTest, UsageErrorsExitWithTwoAndSayWhyHelpWithZero) {
    const std::vector<std::pair<Args, std::string>> cases = {
        {{}, "a command is required"},
        {{"show"}, "FILE.zmk is required"},
        {{"show", "a.zmk", "--bogus"}, "--bogus"},
        {{"cables", "show", "a.cbl", "--decimal-separator", ""}, "must not be empty"},
        {{"list"}, "--port is required"},
        {{"--port", "0", "list"}, "not '0'"},
        {{"cables", "put", "-h"}, "Usage: zemrik-cli cables put [OPTIONS] FILE.cbl"},  // help: exit 0
        {{"--port", "2", "show", "a.zmk"}, "--port is not an option of this command"},
        {{"--port", "2", "cables", "get"}, "--output is required"},
        {{"--port", "2", "put", "a.zmk", "--records", "1,x"}, "--records"},
        {{"--port", "2", "delete", "1", "256"}, "not in range 0 to 255"},
        {{"export", "--records", "1"}, "FILE.zmk is required"},
        {{"--port", "2", "export", "a.zmk"}, "--port is not an option of this command"},
    };
    for (const auto& [args, why] : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const ParseOutcome parsed = ParseCommandLine(args);
        EXPECT_FALSE(parsed.request);
        const bool help = why.starts_with("Usage");
        EXPECT_EQ(parsed.exitCode, help ? 0 : 2);
        const std::string& text = help ? parsed.out : parsed.err;
        EXPECT_EQ((help ? parsed.err : parsed.out), "");
        EXPECT_TRUE(help || text.starts_with("zemrik-cli: ")) << text;
        EXPECT_NE(text.find(why), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace zemrik::cli
