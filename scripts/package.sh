#!/usr/bin/env bash
# Builds the Debian packages zemrik, zemrik-cli and zemrik-sim from the plain build into build/.
# Install them with: apt install ./build/zemrik_*.deb ./build/zemrik-cli_*.deb ./build/zemrik-sim_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
scripts/build.sh plain >&2
rm -f build/zemrik*.deb
if ! log=$(cd build && cpack -G DEB 2>&1); then
  echo "$log" >&2
  exit 1
fi
ls build/zemrik*.deb
