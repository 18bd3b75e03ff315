#!/usr/bin/env bash
# docs/main-window.png: the main window after a Get of the demo records from the emulator, with
# a record that has sections picked, drawn under Xvfb.
#   scripts/screenshot.sh [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/main-window.png}
scripts/setup.sh >&2
scripts/build.sh plain >&2
if [[ ! -x build/bench/zemrik-gui-bench ]]; then
  echo "screenshot.sh: the window program is not built yet (its windows are not all in this tree)" >&2
  exit 1
fi
build/cli/zemrik-make-samples samples >&2
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  build/bench/zemrik-gui-bench --demo samples/demo.zmk --screenshot "$out"
echo "screenshot.sh: wrote $out" >&2
