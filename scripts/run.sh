#!/usr/bin/env bash
# Set-up, build, and the program on an instrument: by default the emulator with the demo records
# (every kind, several with sections) on a pseudo-terminal paced like the real 28800 bit/s line,
# as COM 1. Press Get in the window to read them.
#   scripts/run.sh [--port PATH] [FILE.zmk]
#     --port PATH   use a real device (e.g. /dev/ttyUSB0) instead of the emulator
#     FILE.zmk      open this measurement file at start
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY) it says so and runs the same Get
# through zemrik-cli, then shows the records it read.
set -euo pipefail
cd "$(dirname "$0")/.."

port=""
file=""
while (($#)); do
  case "$1" in
    --port) port=${2:?--port needs a device path}; shift 2 ;;
    --port=*) port=${1#--port=}; shift ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) file=$1; shift ;;
  esac
done

scripts/setup.sh >&2
# Only the programs this script runs: the tests are built by scripts/test.sh when it needs them.
scripts/build.sh plain zemrik zemrik-cli zemrik-sim zemrik-make-samples >&2

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [[ -n $sim_pid ]]; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if [[ -z $port ]]; then
  build/cli/zemrik-make-samples samples >&2
  # The emulator prints its terminal's path first; its later output is drained so it never blocks.
  exec {sim_out}< <(exec build/sim/zemrik-sim --records samples/demo.zmk --cables samples/demo.cbl \
                      --pace-baud 28800 --link "$work/tty" --no-stdin)
  sim_pid=$!
  if ! read -r -u "$sim_out" tty; then
    echo "run.sh: the emulator did not start" >&2
    exit 1
  fi
  cat <&"$sim_out" >/dev/null &
  exec {sim_out}<&-
  echo "run.sh: emulator on $tty (COM 1 of this run), 8 records, 28800 bit/s" >&2

  # The run's own settings: COM 1 is the emulator; the user's settings stay untouched.
  export XDG_CONFIG_HOME="$work/config"
  mkdir -p "$XDG_CONFIG_HOME/Zemrik"
  printf '[General]\nAppPath=\nComNumber=1\nLastCablesTbl=\n\n[Ports]\nCOM1=%s\n' "$tty" \
    >"$XDG_CONFIG_HOME/Zemrik/Zemrik.conf"
  cli_port=$tty
  gui_args=()
else
  cli_port=$port
  gui_args=(--port "$port")
fi
[[ -n $file ]] && gui_args+=("$file")

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset): the same Get through zemrik-cli" >&2
  build/cli/zemrik-cli --port "$cli_port" get -o "$work/get.zmk"
  build/cli/zemrik-cli show "$work/get.zmk"
  exit 0
fi
if [[ ! -x build/app/zemrik ]]; then
  echo "run.sh: build/app/zemrik was not built (its windows are not all in this tree)" >&2
  exit 1
fi
build/app/zemrik "${gui_args[@]}"
