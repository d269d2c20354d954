#!/usr/bin/env bash
# Frame rate and CPU time per frame of `qacq grab --save none` against
# Aravis's own arv-camera-test-0.8, on the same GigE Vision fake camera at
# 640x480 Mono8 and its highest frame rate, in one private network namespace
# that holds only loopback (nothing leaves the host).  Runs each peer
# ROUNDS times (default 3), alternating, and prints every run and the medians.
# Both negotiate the packet size with the camera (the driver always does;
# Aravis's tool with "-j once"), so both move the same packets.
#
#   bench/gige_vs_arv.sh [build-dir]     (default build/ci; needs qacq and the gige driver built)
set -euo pipefail
build=$(cd "${1:-build/ci}" && pwd)
rounds=${ROUNDS:-3}
seconds=${SECONDS_PER_RUN:-8}
qacq="$build/tools/qacq/qacq"
[[ -x "$qacq" ]] || { echo "no $qacq: build qacq and qrngige first" >&2; exit 1; }
unshare -n true 2>/dev/null || { echo "SKIP: network namespaces are not permitted here" >&2; exit 77; }

if [[ "${GIGE_BENCH_INSIDE:-}" != 1 ]]; then
  exec unshare -n env GIGE_BENCH_INSIDE=1 "$0" "$@"
fi

# ---- inside the namespace --------------------------------------------------------
ip link set lo up
[[ $(ip -o link show | wc -l) == 1 ]] || { echo "not isolated" >&2; exit 1; }
arv-fake-gv-camera-0.8 -i 127.0.0.1 >/dev/null 2>&1 &
camera=$!
trap 'kill $camera 2>/dev/null; wait $camera 2>/dev/null || true' EXIT
sleep 1
export QUORIN_DRIVER_DIR="$build/drivers/plugins" QUORIN_GIGE_CAMERAS=127.0.0.1
export QUORIN_REGISTRY_FILE="$build/no-such-registry.reg"
# The camera's highest rate.
# The fake camera takes any rate; beyond what the loopback path carries here
# both peers simply run flat out.
max=${RATE:-1000}

cpu_of() {  # cpu_of FILE CMD...: runs CMD with its output in FILE, prints its user+sys seconds
  local file=$1 TIMEFORMAT='%U %S'
  shift
  { time "$@" >"$file" 2>&1 || true; } 2>&1 | awk '{print $1 + $2}'
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
calc() { awk "BEGIN {printf \"%.4g\", $1}"; }

# One run of Aravis's tool for $1 seconds: sets frames, fails, fps (median of
# its per-second rates, the first second left out) and cpu.
arv_run() {
  local log=/tmp/gige-bench-arv.$$
  cpu=$(cpu_of $log timeout -s INT "$1" arv-camera-test-0.8 -n 127.0.0.1 -w 640 -h 480 -f "$max" -j once \
        --features "PixelFormat=Mono8")
  frames=$(sed -n 's/^n_completed_buffers *= *//p' $log)
  fails=$(sed -n 's/^n_failures *= *//p' $log)
  fps=$(grep -o '^ *[0-9]* frames/s' $log | tail -n +2 | awk '{print $1}' | median)
  rm -f $log
  sleep 4  # the camera lets its controller go on its heartbeat timeout
}
# One `qacq grab` of $1 frames: sets failed (frames reported failed), lost, fps and cpu.
qrn_run() {
  local log=/tmp/gige-bench-qrn.$$
  cpu=$(cpu_of $log "$qacq" grab --board gige0 --format "Sony XC75 640x480" --trigger freerun --save none \
        --no-progress -n "$1" --custom "AcquisitionFrameRate=$max" --custom PixelFormat=Mono8)
  fps=$(sed -n 's/.*, \([0-9.]*\) frames\/s.*/\1/p' $log)
  failed=$(grep '^frame [0-9]*:' $log | grep -vc ', ok' || true)
  # Frames the camera sent that never became acquisitions: gaps in the frame ids.
  # (GigE Vision frame ids are 16 bits and wrap from 65535 to 1.)
  lost=$(sed -n 's/^frame [0-9]*: trigger \([0-9]*\),.*/\1/p' $log |
         awk 'NR > 1 {d = $1 - prev; if (d <= 0) d += 65535; lost += d - 1} {prev = $1} END {print lost + 0}')
  [[ -n "$fps" ]] || { cat $log >&2; exit 1; }
  rm -f $log
  sleep 4
}

# CPU per frame is the slope between a short and a long run of each peer, so
# that start-up (loading drivers, opening the camera) counts for neither.
declare -a arv_fps arv_cpf qrn_fps qrn_cpf
for ((r = 1; r <= rounds; r++)); do
  arv_run "$seconds"; f1=$frames c1=$cpu
  arv_run $((2 * seconds)); f2=$frames c2=$cpu
  arv_fps+=("$fps"); arv_cpf+=("$(calc "($c2 - $c1) / ($f2 - $f1) * 1000")")
  echo "arv-camera-test round $r: $fps frames/s; $f1 frames in ${c1}s cpu, $f2 frames in ${c2}s cpu, $fails failures" \
       "-> ${arv_cpf[-1]} ms cpu/frame"
  qrn_run "$f1"; q1=$cpu
  qrn_run "$f2"; q2=$cpu
  qrn_fps+=("$fps"); qrn_cpf+=("$(calc "($q2 - $q1) / ($f2 - $f1) * 1000")")
  echo "qacq grab       round $r: $fps frames/s; $f1 frames in ${q1}s cpu, $f2 frames in ${q2}s cpu, $failed failed, $lost lost" \
       "-> ${qrn_cpf[-1]} ms cpu/frame"
done

a_fps=$(printf '%s\n' "${arv_fps[@]}" | median); q_fps=$(printf '%s\n' "${qrn_fps[@]}" | median)
a_cpf=$(printf '%s\n' "${arv_cpf[@]}" | median); q_cpf=$(printf '%s\n' "${qrn_cpf[@]}" | median)
echo "camera rate asked: $max frames/s, 640x480 Mono8"
echo "median frame rate:          qacq $q_fps, arv-camera-test $a_fps -> ratio $(calc "$q_fps / $a_fps")"
echo "median CPU per frame (ms):  qacq $q_cpf, arv-camera-test $a_cpf -> ratio $(calc "$q_cpf / $a_cpf")"
