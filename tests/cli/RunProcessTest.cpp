#include "support/RunProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

namespace zemrik::test {
namespace {

TEST(RunProcessTest, CapturesStreamsExitSignalsEnvironmentAndTimeOuts) {
    // A megabyte on stdout while stderr is written too: both pipes must be drained at once.
    ProcessResult big =
        RunProcess({"/bin/sh", "-c", "head -c 1048576 /dev/zero | tr '\\0' x; wc -c >&2; exit 3"});
    ASSERT_TRUE(big.started) << big.error;
    EXPECT_TRUE(big.Exited(3));
    EXPECT_EQ(big.out, std::string(1 << 20, 'x'));
    EXPECT_EQ(big.err, "0\n");  // stdin is empty, not the test's own

    ::setenv("ZEMRIK_RUNPROCESS_DROP", "1", 1);
    ProcessOptions options;
    options.env = {{"ZEMRIK_RUNPROCESS_SET", "hello"}, {"ZEMRIK_RUNPROCESS_DROP", std::nullopt}};
    ProcessResult env = RunProcess(
        {"/bin/sh", "-c", "echo \"$ZEMRIK_RUNPROCESS_SET/${ZEMRIK_RUNPROCESS_DROP-unset}\""}, options);
    EXPECT_EQ(env.out, "hello/unset\n");
    ::unsetenv("ZEMRIK_RUNPROCESS_DROP");

    ProcessResult killed = RunProcess({"/bin/sh", "-c", "kill -TERM $$"});
    EXPECT_EQ(killed.signal, SIGTERM);
    EXPECT_FALSE(killed.Exited(0));

    // The child closes its output and keeps running: the time-out still ends it.
    ProcessOptions quick;
    quick.timeout = std::chrono::milliseconds(300);
    ProcessResult hung = RunProcess({"/bin/sh", "-c", "exec >&- 2>&-; exec sleep 60"}, quick);
    EXPECT_TRUE(hung.timedOut);
    EXPECT_EQ(hung.signal, SIGKILL);

    ProcessResult missing = RunProcess({"/nonexistent/program"});
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.error.empty());
}

}  // namespace
}  // namespace zemrik::test
