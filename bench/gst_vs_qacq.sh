#!/usr/bin/env bash
# The GStreamer element against `qacq grab` on the simulated board, as fast as
# the board gives frames (custom item FramePeriod=0):
#   qacq grab --save none -q      its own frame rate over COUNT frames (from
#                                 the first completion on);
#   qrnacqsrc num-buffers=COUNT ! fakesink
#                                 COUNT over gst-launch-1.0's "Execution ended
#                                 after" (PLAYING to end of stream; the FIFO is
#                                 made before, as qacq's is).
# And the CPU time per frame of each (user and system time of the whole
# process over COUNT, start-up included: small beside COUNT frames).
# ROUNDS rounds (default 5), peers in turn, at 640x480 ("Sony XC75 640x480")
# and 2048x2048 ("Basler L103 2048x2048"); prints every run and the medians.
# Then shows that a 2048x2048 buffer is the image itself: the element's log
# gives, per frame, where the image's pels start and where the buffer's
# memory starts.
#
#   bench/gst_vs_qacq.sh [build-dir]   (default build/bench: cmake --preset bench, then
#                                       cmake --build --preset bench --target qacq qrnsim gstqrnacq)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "${1:-build/bench}" && pwd)
rounds=${ROUNDS:-5}
qacq=$build/tools/qacq/qacq
[[ -x $qacq && -d $build/gst/plugins ]] || { echo "build qacq, qrnsim and gstqrnacq in $build first" >&2; exit 1; }
export QUORIN_DRIVER_DIR=$build/drivers/plugins QUORIN_REGISTRY_FILE=$build/no-such-registry.reg
export GST_PLUGIN_PATH=$build/gst/plugins GST_REGISTRY=$build/gst/registry.bin

calc() { awk "BEGIN {printf \"%.3f\", $1}"; }

# cputime COMMAND...: runs it; its output, then "cpu <seconds>" (user + system).
cputime() { /usr/bin/time -f 'cpu %U %S' "$@" 2>&1 | awk '/^cpu / {print "cpu", $2 + $3; next} {print}'; }

for case in "Sony XC75 640x480|50000" "Basler L103 2048x2048|5000"; do
  IFS='|' read -r fmt count <<<"$case"
  q=() g=() qc=() gc=()
  for ((r = 1; r <= rounds; r++)); do
    out=$(cputime "$qacq" grab --format "$fmt" --save none -q --count "$count" --custom FramePeriod=0)
    qf=$(sed -n 's/.* \([0-9.]*\) frames\/s.*/\1/p' <<<"$out")
    qu=$(calc "$(sed -n 's/^cpu //p' <<<"$out") * 1e6 / $count")
    out=$(cputime gst-launch-1.0 qrnacqsrc format="$fmt" num-buffers="$count" custom=FramePeriod=0 ! fakesink)
    gs=$(sed -n 's/^Execution ended after \([0-9]*\):\([0-9]*\):\([0-9.]*\)$/\1 \2 \3/p' <<<"$out" |
         awk '{print $1 * 3600 + $2 * 60 + $3}')
    gf=$(calc "$count / $gs")
    gu=$(calc "$(sed -n 's/^cpu //p' <<<"$out") * 1e6 / $count")
    echo "$fmt round $r: qacq grab $qf frames/s, $qu us CPU/frame; qrnacqsrc ! fakesink $gf frames/s, $gu us CPU/frame"
    q+=("$qf") g+=("$gf") qc+=("$qu") gc+=("$gu")
  done
  qm=$(printf '%s\n' "${q[@]}" | median) gm=$(printf '%s\n' "${g[@]}" | median)
  qcm=$(printf '%s\n' "${qc[@]}" | median) gcm=$(printf '%s\n' "${gc[@]}" | median)
  echo "$fmt medians: qacq grab $qm frames/s, $qcm us CPU/frame; qrnacqsrc $gm frames/s, $gcm us CPU/frame:" \
       "frame rate ratio $(calc "$gm / $qm"), CPU per frame ratio $(calc "$gcm / $qcm")"
done

echo "--- 2048x2048: the buffer's memory is the image's pels (element log, 3 frames)"
GST_DEBUG=qrnacqsrc:6 GST_DEBUG_NO_COLOR=1 gst-launch-1.0 -q qrnacqsrc format="Basler L103 2048x2048" num-buffers=3 \
  custom=FramePeriod=0 ! fakesink 2>&1 | grep -o 'image pels at .*' || true
