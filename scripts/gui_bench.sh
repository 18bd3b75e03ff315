#!/usr/bin/env bash
# The window program's figures under Xvfb: start to the main window shown, a Get of 200 records
# from the emulator at 28800 bit/s against the line's own time, processor time and memory.
#   scripts/gui_bench.sh [--records N]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
scripts/build.sh plain >&2
if [[ ! -x build/bench/zemrik-gui-bench ]]; then
  echo "gui_bench.sh: the window program is not built yet (its windows are not all in this tree)" >&2
  exit 1
fi
build/cli/zemrik-make-samples samples >&2
xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/zemrik-gui-bench --demo samples/demo.zmk "$@"
