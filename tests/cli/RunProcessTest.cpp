#include "support/RunProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

namespace zemrik::test {
namespace {

// The paths the command-line tests rely on but seldom meet: a crash, a hang, a missing program.
TEST(RunProcessTest, ReportsSignalsTimeOutsAndMissingPrograms) {
    ProcessResult killed = RunProcess({"/bin/sh", "-c", "echo out; echo err >&2; kill -TERM $$"});
    EXPECT_EQ(killed.out + killed.err, "out\nerr\n");
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
