#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time (FUZZ_SECONDS each, default 30) from the
# stored seeds, and reports executions and crashes. Needs scripts/build.sh fuzz first.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
status=0
for bin in build-fuzz/fuzz/fuzz_*; do
  [[ -x $bin ]] || continue
  name=$(basename "$bin")
  seeds=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  log=$work/log
  if "$bin" -max_total_time="$seconds" -max_len=52000 -print_final_stats=1 -artifact_prefix="$work/" \
      "$work" "$seeds" >"$log" 2>&1; then
    result=ok
  else
    result=CRASH
    status=1
    tail -40 "$log"
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  echo "fuzz $name: $result, $runs executions in ${seconds}s"
  rm -rf "$work"
done
exit $status
