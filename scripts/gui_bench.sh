#!/usr/bin/env bash
# The window program's figures under Xvfb: start to the main window shown, a Get of 200 records
# from the emulator at 28800 bit/s against the line's own time, processor time and memory.
#   scripts/gui_bench.sh [--records N]     (--screenshot OUT.png draws the window instead)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
scripts/build.sh plain >&2
build/cli/zemrik-make-samples samples >&2
xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/zemrik-gui-bench --demo samples/demo.zmk "$@"
