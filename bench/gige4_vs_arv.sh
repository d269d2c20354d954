#!/usr/bin/env bash
# Four GigE Vision fake cameras at once: one `qacq grab --board
# gige0,gige1,gige2,gige3 --save none` (one process, one FIFO and one grab
# loop per camera) against four plain Aravis programs (bench_gige_arv_pop, the
# pop loop of bench/gige_vs_arv.sh, one process per camera), in one private
# network namespace that holds only loopback (cameras on 127.0.0.1 to .4;
# nothing leaves the host).  Each camera sends 640x480 Mono8 at RATE frames/s
# (default 250: 1000 frames/s in all).
#
# Measured as in gige_vs_arv.sh, over the steady window (WARM seconds after
# all four cameras stream, SPAN seconds long): the aggregate frame rate (frames of all four cameras
# whose time stamps fall in the window, per second), frames reported failed
# and lost (gaps in each camera's frame ids), and CPU per frame: the CPU time
# of all threads of the measured processes (qacq; the four pop programs
# together) over the window, divided by the window's frames.  The fake
# cameras' own CPU counts for neither; it is printed apart, since on two
# cores they compete with what is measured.  Runs each side ROUNDS times
# (default 3), in turn, and prints every run and the medians.
#
#   bench/gige4_vs_arv.sh [build-dir]    (default build/bench: cmake --preset bench, then
#                                         cmake --build --preset bench --target qacq qrngige bench_gige_arv_pop)
# Not part of CI.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
rounds=${ROUNDS:-3}
warm=${WARM:-3}
span=${SPAN:-8}
rate=${RATE:-250}
qacq="$build/tools/qacq/qacq" pop="$build/bench/bench_gige_arv_pop"
[[ -x "$qacq" && -x "$pop" ]] || { echo "no $qacq or $pop: build qacq, qrngige and bench_gige_arv_pop first" >&2; exit 1; }
bench_in_netns "$0" "$@"

# ---- inside the namespace --------------------------------------------------------
addresses=(127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4)
cameras=()
for a in "${addresses[@]}"; do
  [[ $a == 127.0.0.1 ]] || ip addr add "$a/8" dev lo
  arv-fake-gv-camera-0.8 -i "$a" >/dev/null 2>&1 &
  cameras+=($!)
done
trap 'kill "${cameras[@]}" 2>/dev/null; wait 2>/dev/null || true' EXIT
sleep 1
export QUORIN_DRIVER_DIR="$build/drivers/plugins" QUORIN_REGISTRY_FILE="$build/no-such-registry.reg"
export QUORIN_GIGE_CAMERAS="127.0.0.1;127.0.0.2;127.0.0.3;127.0.0.4"
frames=$((rate * (warm + span + 4)))

calc() { awk "BEGIN {printf \"%.4g\", $1}"; }

# Waits (at most 60 s) until every file "$@" holds a first frame line: every
# camera streams (one qacq opens its four cameras one after the other, four
# programs each their own).
streaming() {
  local t=0 f
  for f in "$@"; do
    until grep -q '^frame 1: ' "$f" 2>/dev/null || ((t >= 600)); do sleep 0.1; t=$((t + 1)); done
  done
}

# The steady window of processes "$@": sets wcpu (ns of their CPU), ccpu
# (ns of the cameras' CPU), wsec and w0, w1 (bounds, microseconds of the
# real-time clock, which the fake cameras stamp their frames with).
window() {
  sleep "$warm"
  local c0 k0 t0 c1 k1 t1
  c0=$(cpu_ns "$@"); k0=$(cpu_ns "${cameras[@]}"); t0=$(date +%s%N)
  sleep "$span"
  c1=$(cpu_ns "$@"); k1=$(cpu_ns "${cameras[@]}"); t1=$(date +%s%N)
  wcpu=$((c1 - c0)); ccpu=$((k1 - k0)); wsec=$(calc "($t1 - $t0) / 1e9")
  w0=$((t0 / 1000)); w1=$((t1 / 1000))
}

# From lines "frame N: trigger ID, time stamp US, STATUS" of one camera (on
# stdin): "frames-in-window failed lost lost-in-window" (lost: gaps in the
# frame ids, which are 16 bits and wrap from 65535 to 1).
count() {
  awk -v a=$w0 -v b=$w1 '
    /^frame [0-9]+: trigger/ {
      id = $4 + 0; ts = $7 + 0
      in_ = ts >= a && ts < b
      if (in_) n++
      if ($0 !~ /, ok/) failed++
      if (id == 0) next  # a failure without a frame id (counted above)
      if (seen) { d = id - prev; if (d <= 0) d += 65535; lost += d - 1; if (in_) wlost += d - 1 }
      prev = id; seen = 1
    }
    END { printf "%d %d %d %d\n", n, failed, lost, wlost }'
}

# Sets fps (aggregate), failed, lost, wlost and cpf (ms of CPU per frame) from
# the per-camera logs "$@".
tally() {
  local n=0 f=0 l=0 wl=0 x y z v
  for log in "$@"; do
    read -r x y z v < <(count <"$log")
    n=$((n + x)); f=$((f + y)); l=$((l + z)); wl=$((wl + v))
  done
  fps=$(calc "$n / $wsec"); failed=$f; lost=$l; wlost=$wl
  cpf=$(calc "$wcpu / 1e6 / $n")
}

qrn_run() {
  local log=/tmp/gige4-bench-qacq.$$
  "$qacq" grab --board gige0,gige1,gige2,gige3 --format "Sony XC75 640x480" --trigger freerun --save none \
    --no-progress -n "$frames" --custom "AcquisitionFrameRate=$rate" >$log 2>&1 &
  local pid=$!
  local t=0
  until (($(grep -c '^gige[0-3] frame 1: ' $log 2>/dev/null || true) >= 4)) || ((t >= 600)); do sleep 0.1; t=$((t + 1)); done
  window $pid
  wait $pid || true
  grep -q '^gige0 frame [0-9]*: trigger' $log || { tail -n 5 $log >&2; exit 1; }
  local logs=()
  for i in 0 1 2 3; do
    sed -n "s/^gige$i //p" $log >$log.$i
    logs+=($log.$i)
  done
  tally "${logs[@]}"
  rm -f $log $log.?
  sleep 1
}

pop_run() {
  local log=/tmp/gige4-bench-pop.$$ pids=() logs=()
  for i in 0 1 2 3; do
    "$pop" "${addresses[$i]}" "$frames" "$rate" >$log.$i 2>&1 &
    pids+=($!); logs+=($log.$i)
  done
  streaming "${logs[@]}"
  window "${pids[@]}"
  wait "${pids[@]}" || true
  tally "${logs[@]}"
  rm -f "${logs[@]}"
  sleep 4  # the pop loop does not give its camera back at exit: its heartbeat runs out
}

declare -a qrn_fps qrn_cpf pop_fps pop_cpf
for ((r = 1; r <= rounds; r++)); do
  pop_run
  pop_fps+=("$fps"); pop_cpf+=("$cpf")
  echo "4 aravis pop loops round $r: $fps frames/s, $failed failed, $lost lost ($wlost in the window)," \
       "$(calc "$wcpu / 1e6") ms cpu (cameras $(calc "$ccpu / 1e6") ms) in ${wsec} s -> $cpf ms cpu/frame"
  qrn_run
  qrn_fps+=("$fps"); qrn_cpf+=("$cpf")
  echo "qacq grab 4 boards round $r: $fps frames/s, $failed failed, $lost lost ($wlost in the window)," \
       "$(calc "$wcpu / 1e6") ms cpu (cameras $(calc "$ccpu / 1e6") ms) in ${wsec} s -> $cpf ms cpu/frame"
done

med() { printf '%s\n' "$@" | median; }
q_fps=$(med "${qrn_fps[@]}"); p_fps=$(med "${pop_fps[@]}")
q_cpf=$(med "${qrn_cpf[@]}"); p_cpf=$(med "${pop_cpf[@]}")
echo "four cameras at $rate frames/s each, 640x480 Mono8"
echo "median aggregate frame rate: qacq $q_fps, four aravis pop loops $p_fps -> ratio $(calc "$q_fps / $p_fps")"
echo "median CPU per frame (ms):   qacq $q_cpf, four aravis pop loops $p_cpf -> ratio $(calc "$q_cpf / $p_cpf")"
