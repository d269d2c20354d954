#!/usr/bin/env bash
# console_pick_test.sh EXAMPLE: runs the console example on a private X
# server (Xvfb) and plays the user with xdotool: a click and Enter, then a
# drag and Enter.  The example's answers must be the point and the area.
set -euo pipefail
exe="$1"
if [[ -z "${QRN_UNDER_XVFB:-}" ]]; then
  QRN_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
export SDL_VIDEODRIVER=x11
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$exe" >"$out" 2>&1 &
pid=$!
title='^qrnacq console example$'
w=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -n 1)
sleep 0.5
xdotool windowfocus --sync "$w" mousemove --window "$w" 101 51 click 1 key Return
sleep 0.5
xdotool windowfocus --sync "$w" mousemove --window "$w" 200 100 mousedown 1 mousemove --window "$w" 250 150 \
  mousemove --window "$w" 300 160 mouseup 1 key Return
rc=0
timeout 20 tail --pid="$pid" -f /dev/null || { kill "$pid"; rc=1; }
wait "$pid" || rc=$?
cat "$out"
[[ $rc -eq 0 ]] || exit 1
grep -Eq '^point \(101(\.5)?, 51(\.5)?\), grey ' "$out"
grep -q '^area 100x60 at (200, 100)' "$out"
