#include "support/RunProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

namespace zemrik::test {
namespace {

TEST(RunProcessTest, CapturesBothStreamsTheExitCodeAndFeedsStdin) {
    // Large enough to fill the pipes both ways at once: the helper must not deadlock.
    std::string big(1 << 20, 'x');
    for (std::size_t i = 0; i < big.size(); i += 97) big[i] = static_cast<char>('a' + i % 26);
    ProcessOptions options;
    options.stdinText = big;
    ProcessResult echo = RunProcess({"/bin/sh", "-c", "cat; echo done >&2; exit 3"}, options);
    ASSERT_TRUE(echo.started) << echo.error;
    EXPECT_TRUE(echo.Exited(3));
    EXPECT_EQ(echo.out, big);
    EXPECT_EQ(echo.err, "done\n");

    // Without stdin text the child reads an empty stdin rather than the test's own.
    ProcessResult empty = RunProcess({"/bin/sh", "-c", "wc -c"});
    EXPECT_TRUE(empty.Exited(0));
    EXPECT_EQ(empty.out, "0\n");

    // A child that stops reading early must not take the test down with SIGPIPE.
    options.stdinText = std::string(4 << 20, 'y');
    ProcessResult early = RunProcess({"/bin/sh", "-c", "head -c 10 >/dev/null"}, options);
    EXPECT_TRUE(early.Exited(0));
}

TEST(RunProcessTest, EnvironmentSignalsTimeOutsAndMissingPrograms) {
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
