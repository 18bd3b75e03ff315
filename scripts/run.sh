#!/usr/bin/env bash
# Set-up, build, and the program's main job: show every record of a measurement file.
#   scripts/run.sh [FILE.zmk]   (default: the demo file the build makes, samples/demo.zmk)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
scripts/build.sh plain >&2
file=${1:-}
if [[ -z $file ]]; then
  build/cli/zemrik-make-samples samples >&2
  file=samples/demo.zmk
fi
exec build/cli/zemrik-cli show "$file"
