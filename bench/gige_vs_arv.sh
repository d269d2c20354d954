#!/usr/bin/env bash
# Frame rate and CPU time per frame of `qacq grab --save none` against
# Aravis's own arv-camera-test-0.8, on the same GigE Vision fake camera at
# 640x480 Mono8 and its highest frame rate, in one private network namespace
# that holds only loopback (nothing leaves the host).  Runs each peer
# ROUNDS times (default 3), alternating, and prints every run and the medians.
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

declare -a arv_fps arv_cpf qrn_fps qrn_cpf
for ((r = 1; r <= rounds; r++)); do
  # Aravis's own tool: per-second lines "N frames/s", then its statistics.
  cpu=$(cpu_of /tmp/gige-bench-arv.$$ timeout -s INT "$seconds" arv-camera-test-0.8 -n 127.0.0.1 -w 640 -h 480 \
        -f "$max" --features "PixelFormat=Mono8")
  frames=$(sed -n 's/^n_completed_buffers *= *//p' /tmp/gige-bench-arv.$$)
  fails=$(sed -n 's/^n_failures *= *//p' /tmp/gige-bench-arv.$$)
  fps=$(grep -o '^ *[0-9]* frames/s' /tmp/gige-bench-arv.$$ | tail -n +2 | awk '{print $1}' | median)
  arv_fps+=("$fps"); arv_cpf+=("$(echo "scale=6; $cpu / $frames * 1000" | bc)")
  echo "arv-camera-test run $r: $fps frames/s (median of its per-second rates), $frames frames, $fails failures, cpu ${cpu}s, $(echo "scale=3; $cpu / $frames * 1000" | bc) ms/frame"

  # About as many frames as Aravis's tool took in its run.
  n=$frames
  cpu=$(cpu_of /tmp/gige-bench-qrn.$$ "$qacq" grab --board gige0 --format "Sony XC75 640x480" --trigger freerun \
        --save none --quiet --no-progress -n "$n" --custom "AcquisitionFrameRate=$max" --custom PixelFormat=Mono8)
  line=$(grep 'frames in' /tmp/gige-bench-qrn.$$ || cat /tmp/gige-bench-qrn.$$)
  fps=$(echo "$line" | sed -n 's/.*, \([0-9.]*\) frames\/s.*/\1/p')
  failed=$(grep -c 'frame [0-9]*:' /tmp/gige-bench-qrn.$$ || true)
  qrn_fps+=("$fps"); qrn_cpf+=("$(echo "scale=6; $cpu / $n * 1000" | bc)")
  echo "qacq grab       run $r: $fps frames/s, $n frames, $failed failed, cpu ${cpu}s, $(echo "scale=3; $cpu / $n * 1000" | bc) ms/frame"
done
rm -f /tmp/gige-bench-arv.$$ /tmp/gige-bench-qrn.$$

a_fps=$(printf '%s\n' "${arv_fps[@]}" | median); q_fps=$(printf '%s\n' "${qrn_fps[@]}" | median)
a_cpf=$(printf '%s\n' "${arv_cpf[@]}" | median); q_cpf=$(printf '%s\n' "${qrn_cpf[@]}" | median)
echo "camera rate asked: $max frames/s"
echo "median frame rate: qacq $q_fps, arv-camera-test $a_fps  -> ratio $(echo "scale=3; $q_fps / $a_fps" | bc)"
echo "median CPU per frame (ms): qacq $q_cpf, arv-camera-test $a_cpf  -> ratio $(echo "scale=3; $q_cpf / $a_cpf" | bc)"
