#!/usr/bin/env bash
# The GStreamer element against Aravis's own source element on the GigE
# Vision fake camera (640x480 Mono8, asked for 1000 frames/s), in one private
# network namespace that holds only loopback (nothing leaves the host):
#   aravissrc camera-name=127.0.0.1 ! fakesink    (Debian's libaravis-0.8-0)
#   qrnacqsrc board=gige0 trigger=freerun ! fakesink
# Both with their default buffer counts.  Each runs ROUNDS times (default 5),
# in turn; bench/gst_rate.py measures the frames the sink rendered and the CPU
# time of the whole process (every thread) over a steady window (WARM s in,
# SPAN s long), so start-up counts for none.  Prints every run and the
# medians.
#
#   bench/gst_vs_aravissrc.sh [build-dir]   (default build/bench: cmake --preset bench, then
#                                            cmake --build --preset bench --target qrngige gstqrnacq)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
rounds=${ROUNDS:-5} warm=${WARM:-2} span=${SPAN:-5} rate=${RATE:-1000}
[[ -d $build/gst/plugins ]] || { echo "build qrngige and gstqrnacq in $build first" >&2; exit 1; }
gst-inspect-1.0 aravissrc >/dev/null 2>&1 || { echo "aravissrc missing (Debian gstreamer1.0-plugins-bad? libaravis-0.8-0)" >&2; exit 1; }
bench_in_netns "$0" "$@"

# ---- inside the namespace --------------------------------------------------------
arv-fake-gv-camera-0.8 -i 127.0.0.1 >/dev/null 2>&1 &
camera=$!
trap 'kill $camera 2>/dev/null; wait $camera 2>/dev/null || true' EXIT
sleep 1
export QUORIN_DRIVER_DIR=$build/drivers/plugins QUORIN_GIGE_CAMERAS=127.0.0.1
export QUORIN_REGISTRY_FILE=$build/no-such-registry.reg
export GST_PLUGIN_PATH=$build/gst/plugins GST_REGISTRY=$build/gst/registry.bin

calc() { awk "BEGIN {printf \"%.3f\", $1}"; }
run() {
  /usr/bin/python3 "$here/gst_rate.py" "$1 ! fakesink name=sink" "$warm" "$span"
  sleep 4  # the camera lets its controller go on its heartbeat timeout
}

a_fps=() a_cpf=() q_fps=() q_cpf=()
for ((r = 1; r <= rounds; r++)); do
  a=$(run "aravissrc camera-name=127.0.0.1 features=AcquisitionFrameRate=$rate")
  q=$(run "qrnacqsrc board=gige0 trigger=freerun custom=AcquisitionFrameRate=$rate")
  echo "round $r: aravissrc $a; qrnacqsrc $q"
  a_fps+=("$(awk '{print $2}' <<<"$a")") a_cpf+=("$(awk '{print $4}' <<<"$a")")
  q_fps+=("$(awk '{print $2}' <<<"$q")") q_cpf+=("$(awk '{print $4}' <<<"$q")")
done
af=$(printf '%s\n' "${a_fps[@]}" | median) ac=$(printf '%s\n' "${a_cpf[@]}" | median)
qf=$(printf '%s\n' "${q_fps[@]}" | median) qc=$(printf '%s\n' "${q_cpf[@]}" | median)
echo "medians: aravissrc $af frames/s, $ac ms CPU/frame; qrnacqsrc $qf frames/s, $qc ms CPU/frame"
echo "qrnacqsrc / aravissrc: frame rate $(calc "$qf / $af"), CPU per frame $(calc "$qc / $ac")"
