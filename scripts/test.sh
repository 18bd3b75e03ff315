#!/usr/bin/env bash
# The whole test suite: set-up, the fuzz targets for a bounded time, the tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests repeated under
# ThreadSanitizer, and last the plain build's full run. The windows' tests (label gui) need an X
# server: the stages that run them run under xvfb-run; Qt is not built for ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export CTEST_OUTPUT_ON_FAILURE=1
jobs=${ZEMRIK_JOBS:-$(nproc)}
start=$SECONDS
stamp() { echo "== $1 ($((SECONDS - start)) s)"; }

stamp "fuzz"
scripts/build.sh fuzz
FUZZ_SECONDS=${FUZZ_SECONDS:-20} scripts/fuzz.sh

stamp "asan+ubsan"
scripts/build.sh asan
# A failure fails the stage; the rerun only prints what the failed tests wrote, and its
# result is not looked at, so a test that passes the second time still fails the stage.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
xvfb-run -a ctest --test-dir build-asan -j "$jobs" --timeout 600 -Q || \
  { xvfb-run -a ctest --test-dir build-asan --rerun-failed --output-on-failure --timeout 600 || true; exit 1; }
unset ASAN_OPTIONS UBSAN_OPTIONS

stamp "tsan (threaded tests, repeated)"
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -L 'port|e2e' -j "$jobs" --timeout 600 --repeat until-fail:${TSAN_REPEAT:-20} --output-on-failure || \
  { TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan -L 'port|e2e' --rerun-failed --output-on-failure; exit 1; }

stamp "plain build, all tests"
scripts/build.sh plain
xvfb-run -a ctest --test-dir build -j "$jobs" --timeout 600
stamp "packages" && scripts/check_packages.sh
stamp "done"
