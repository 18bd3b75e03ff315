#!/usr/bin/env bash
# docs/main-window.png: the main window after a Get of the demo records from the emulator, with
# a record that has sections picked, drawn under Xvfb by the GUI benchmark's program.
#   scripts/screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/main-window.png}
mkdir -p "$(dirname "$out")"
scripts/gui_bench.sh --screenshot "$out"
echo "screenshot.sh: wrote $out" >&2
