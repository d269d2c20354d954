#!/usr/bin/env bash
# Frame rate and CPU time per frame of `qacq grab --save none` against two
# peers on the same GigE Vision fake camera at 640x480 Mono8 and its highest
# frame rate, in one private network namespace that holds only loopback
# (nothing leaves the host):
#   arv-camera-test-0.8   Aravis's own tool: all its work inside the stream
#                         thread's new-buffer signal, no other thread woken;
#   bench_gige_arv_pop    plain Aravis as an application uses it: its own
#                         thread pops each filled buffer (one wake-up per
#                         frame, like any blocking completion), prints the
#                         line qacq prints and pushes the buffer back.
# Runs each peer ROUNDS times (default 5), in turn, and prints every run and
# the medians.
#
# What each does: all open the camera by address, move 1400-byte packets (the
# driver and the pop loop negotiate the packet size with the camera, Aravis's
# tool is told "-j once"; the fake camera settles on 1400 for all), receive
# through Aravis's packet socket and ask for missing packets.  Aravis's tool
# gives its stream 50 buffers and handles each one inside the stream's
# new-buffer signal; the pop loop has 16 buffers; qacq's FIFO has 16 buffers,
# takes each filled buffer in the same signal and hands it to the thread that
# completes.  The pop loop and qacq print a line per frame (into a file here).
#
# All are measured in the steady part of each run: the CPU time of all the
# process's threads (/proc/PID/task/*/schedstat, nanoseconds) over a window
# that starts WARM seconds in and lasts SPAN seconds, divided by the frames of
# that window (Aravis's tool: the median of its per-second rates times the
# window; the others: their frames whose time stamps fall in the window).
# Start-up (loading drivers, opening the camera, the packet ring) counts for
# none.
#
#   bench/gige_vs_arv.sh [build-dir]     (default build/bench: cmake --preset bench, then
#                                         cmake --build --preset bench --target qacq qrngige bench_gige_arv_pop)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
rounds=${ROUNDS:-5}
warm=${WARM:-3}
span=${SPAN:-8}
qacq="$build/tools/qacq/qacq" pop="$build/bench/bench_gige_arv_pop"
[[ -x "$qacq" && -x "$pop" ]] || { echo "no $qacq or $pop: build qacq, qrngige and bench_gige_arv_pop first" >&2; exit 1; }
bench_in_netns "$0" "$@"

# ---- inside the namespace --------------------------------------------------------
arv-fake-gv-camera-0.8 -i 127.0.0.1 >/dev/null 2>&1 &
camera=$!
trap 'kill $camera 2>/dev/null; wait $camera 2>/dev/null || true' EXIT
sleep 1
export QUORIN_DRIVER_DIR="$build/drivers/plugins" QUORIN_GIGE_CAMERAS=127.0.0.1
export QUORIN_REGISTRY_FILE="$build/no-such-registry.reg"
# The camera's highest rate: the fake camera takes any rate; beyond what the
# loopback path carries here both peers simply run flat out.
max=${RATE:-1000}

calc() { awk "BEGIN {printf \"%.4g\", $1}"; }

# The steady window of process $1: sets wcpu (ns of CPU), wsec (seconds) and
# w0, w1 (its bounds, microseconds of the real-time clock).
window() {
  sleep "$warm"
  local c0 t0 c1 t1
  c0=$(cpu_ns "$1"); t0=$(date +%s%N)
  sleep "$span"
  c1=$(cpu_ns "$1"); t1=$(date +%s%N)
  wcpu=$((c1 - c0)); wsec=$(calc "($t1 - $t0) / 1e9")
  w0=$((t0 / 1000)); w1=$((t1 / 1000))
}

# One run of Aravis's tool: sets fps (median of its per-second rates within
# the run, first and last left out), fails and cpf (ms of CPU per frame).
arv_run() {
  local log=/tmp/gige-bench-arv.$$
  arv-camera-test-0.8 -n 127.0.0.1 -w 640 -h 480 -f "$max" -j once --features "PixelFormat=Mono8" >$log 2>&1 &
  local pid=$!
  window $pid
  kill -INT $pid; wait $pid || true
  fails=$(sed -n 's/^n_failures *= *//p' $log)
  fps=$(grep -o '^ *[0-9]* frames/s' $log | awk '{print $1}' | sed '1d;$d' | median)
  cpf=$(calc "$wcpu / 1e6 / ($fps * $wsec)")
  rm -f $log
  sleep 4  # the camera lets its controller go on its heartbeat timeout
}
# One run that outlasts the window of a program printing a line per frame
# ("frame N: trigger ID, time stamp US, ok"): `qacq grab` (qrn_run) or the
# plain Aravis peer (pop_run).  Sets fps, failed (frames reported failed),
# lost (gaps in the frame ids) and cpf.
qrn_run() {
  lines_run "$qacq" grab --board gige0 --format "Sony XC75 640x480" --trigger freerun --save none --no-progress \
    -n $((max * (warm + span + 2))) --custom "AcquisitionFrameRate=$max"
}
pop_run() { lines_run "$pop" 127.0.0.1 $((max * (warm + span + 2))) "$max"; }
lines_run() {
  local log=/tmp/gige-bench-lines.$$
  "$@" >$log 2>&1 &
  local pid=$!
  window $pid
  wait $pid || true
  grep -q '^frame [0-9]*: trigger' $log || { tail -n 5 $log >&2; exit 1; }
  # The frames of the window: the fake camera stamps them with the host's
  # real-time clock.
  fps=$(sed -n 's/^frame [0-9]*: trigger [0-9]*, time stamp \([0-9]*\),.*/\1/p' $log |
        awk -v a=$w0 -v b=$w1 -v s=$wsec '$1 >= a && $1 < b {n++} END {printf "%.1f", n / s}')
  failed=$(grep '^frame [0-9]*:' $log | grep -vc ', ok' || true)
  # Frames the camera sent that never became acquisitions: gaps in the frame
  # ids (GigE Vision frame ids are 16 bits and wrap from 65535 to 1).
  lost=$(sed -n 's/^frame [0-9]*: trigger \([0-9]*\),.*/\1/p' $log |
         awk 'NR > 1 {d = $1 - prev; if (d <= 0) d += 65535; lost += d - 1} {prev = $1} END {print lost + 0}')
  cpf=$(calc "$wcpu / 1e6 / ($fps * $wsec)")
  rm -f $log
  sleep 4
}

declare -a arv_fps arv_cpf qrn_fps qrn_cpf pop_fps pop_cpf
for ((r = 1; r <= rounds; r++)); do
  arv_run
  arv_fps+=("$fps"); arv_cpf+=("$cpf")
  echo "arv-camera-test round $r: $fps frames/s, $fails failures, $(calc "$wcpu / 1e6") ms cpu in ${wsec} s -> $cpf ms cpu/frame"
  pop_run
  pop_fps+=("$fps"); pop_cpf+=("$cpf")
  echo "aravis pop loop round $r: $fps frames/s, $failed failed, $lost lost, $(calc "$wcpu / 1e6") ms cpu in ${wsec} s" \
       "-> $cpf ms cpu/frame"
  qrn_run
  qrn_fps+=("$fps"); qrn_cpf+=("$cpf")
  echo "qacq grab       round $r: $fps frames/s, $failed failed, $lost lost, $(calc "$wcpu / 1e6") ms cpu in ${wsec} s" \
       "-> $cpf ms cpu/frame"
done

med() { printf '%s\n' "$@" | median; }
a_fps=$(med "${arv_fps[@]}"); p_fps=$(med "${pop_fps[@]}"); q_fps=$(med "${qrn_fps[@]}")
a_cpf=$(med "${arv_cpf[@]}"); p_cpf=$(med "${pop_cpf[@]}"); q_cpf=$(med "${qrn_cpf[@]}")
echo "camera rate asked: $max frames/s, 640x480 Mono8"
echo "median frame rate:          qacq $q_fps, arv-camera-test $a_fps, aravis pop loop $p_fps" \
     "-> ratios $(calc "$q_fps / $a_fps"), $(calc "$q_fps / $p_fps")"
echo "median CPU per frame (ms):  qacq $q_cpf, arv-camera-test $a_cpf, aravis pop loop $p_cpf" \
     "-> ratios $(calc "$q_cpf / $a_cpf"), $(calc "$q_cpf / $p_cpf")"
