#!/usr/bin/env bash
# Regenerates docs/console.png, the README's picture of the image console:
# "qacq live" on the simulated board in a private Xvfb, the pointer over the
# image so that the status line shows position and pel value, captured from
# the X server.  Usage: scripts/console-screenshot.sh [build-dir] (default
# build/default, configured already).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
cmake --build "$build" --target qacq qrn_xshot >/dev/null

n=90
while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
live=""
cleanup() {
  [[ -n "$live" ]] && kill "$live" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
export DISPLAY=":$n" SDL_VIDEODRIVER=x11
export QUORIN_DRIVER_DIR="$PWD/$build/drivers/plugins" QUORIN_REGISTRY_FILE="$PWD/$build/no-such-registry.reg"

"$build/tools/qacq/qacq" live --overlay --roi 120,90,400,300 --trigger freerun -i rgb32 \
  --custom TestImage=color --custom FramePeriod=0.02 >/dev/null &
live=$!
win=$(timeout 20 xdotool search --sync --onlyvisible --name '^qacq live')
xdotool mousemove --window "$win" 330 250
sleep 2
"$build/tests/console_x11/qrn_xshot" "$win" docs/console.png
xdotool key --window "$win" q
wait "$live" || true
live=""
echo "wrote docs/console.png"
