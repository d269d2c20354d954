#!/bin/bash
# The element on a GigE Vision camera: Aravis's GigE Vision fake camera on
# loopback, inside a private network namespace that holds only loopback
# (nothing leaves it).  Frames reach PNG files at the camera's size; a camera
# that goes away posts an error that names it, and the pipeline ends.
# Usage: gst_netns.sh PLUGIN_DIR WORK_DIR.  Exit 77 (skipped) where
# namespaces are not permitted.
set -u
if [[ ${1:-} != --inside ]]; then
  if ! unshare -n true 2>/dev/null; then
    echo "SKIP: network namespaces are not permitted here (unshare -n failed)"; exit 77
  fi
  if ! command -v arv-fake-gv-camera-0.8 >/dev/null 2>&1 || ! command -v ip >/dev/null 2>&1; then
    echo "SKIP: arv-fake-gv-camera-0.8 (aravis-tools) or ip (iproute2) missing"; exit 77
  fi
  exec unshare -n bash -c 'ip link set lo up && exec "$0" --inside "$@"' "$0" "$@"
fi
shift
plugins=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
export GST_PLUGIN_PATH=$plugins GST_REGISTRY=$work/registry.bin QUORIN_GIGE_CAMERAS=127.0.0.1
[[ $(ip -o link show | grep -vc ': lo:') == 0 ]] || { echo "FAIL: not alone with loopback"; exit 1; }
fail=0
bad() { echo "FAIL: $*"; fail=1; }

arv-fake-gv-camera-0.8 -i 127.0.0.1 >"$work/camera.log" 2>&1 &
camera=$!
trap 'kill -9 $camera 2>/dev/null' EXIT
sleep 1

out=$work/netns-frames
rm -rf "$out" && mkdir -p "$out"
/usr/bin/timeout 60 gst-launch-1.0 -q qrnacqsrc board=gige0 num-buffers=5 ! videoconvert ! pngenc ! \
  multifilesink location="$out/f-%04d.png" >"$work/netns-grab.log" 2>&1 || { cat "$work/netns-grab.log"; bad "the pipeline failed"; }
n=$(ls "$out" | wc -l)
[[ $n == 5 ]] || bad "$n PNGs written, not 5"
[[ -f $out/f-0004.png ]] && echo "camera frames: $(/usr/bin/python3 "$here/pngpels.py" "$out/f-0004.png") (width height channels depth)"

# The caps carry the camera's AcquisitionFrameRate (the fake camera: 25/1);
# a capsfilter sets another, and a synchronised sink keeps it: 300 more
# frames take 3 s (within 5%; on a loaded machine, where the fake camera
# itself falls behind, within 10% of what they take unsynchronised), and
# none are lost unless unsynchronised ones are too (a loaded machine drops
# packets).
caps=$(/usr/bin/timeout 60 gst-launch-1.0 -v qrnacqsrc board=gige0 num-buffers=2 ! fakesink 2>&1 | grep -m1 -o 'framerate=(fraction)[0-9/]*')
[[ $caps == "framerate=(fraction)25/1" ]] || bad "the caps give \"$caps\", not the camera's 25/1"
declare -A took
for sync in true false; do
  for n in 100 400; do
    log=$work/netns-sync-$sync-$n.log
    /usr/bin/timeout 60 gst-launch-1.0 qrnacqsrc board=gige0 trigger=freerun num-buffers=$n ! \
      video/x-raw,framerate=100/1 ! fakesink sync=$sync >"$log" 2>&1 || { cat "$log"; bad "the pipeline of $n frames (sync=$sync) failed"; }
    took[$sync$n]=$(sed -n 's/^Execution ended after \([0-9]*\):\([0-9]*\):\([0-9.]*\)$/\1 \2 \3/p' "$log" |
                    awk '{print $1 * 3600 + $2 * 60 + $3}')
  done
done
if grep -q "WARNING" "$work"/netns-sync-true-*.log && ! grep -q "WARNING" "$work"/netns-sync-false-*.log; then
  cat "$work"/netns-sync-true-*.log; bad "frames lost at 100 frames/s with a synchronised sink alone"
fi
s=$(awk -v a="${took[true100]}" -v b="${took[true400]}" 'BEGIN { printf "%.3f", b - a }')
u=$(awk -v a="${took[false100]}" -v b="${took[false400]}" 'BEGIN { printf "%.3f", b - a }')
echo "300 frames at 100/1: synchronised sink $s s, unsynchronised $u s"
awk -v s="$s" -v u="$u" 'BEGIN { exit !(s > 2.85 && (s < 3.15 || s < 1.1 * u)) }' ||
  bad "300 frames at 100/1 into a synchronised sink took $s s (unsynchronised $u s), not 3 s within 5%"

# The camera goes away while the pipeline plays: an error, then the end.
# (The camera keeps the last process's control until its heartbeat runs out.)
sleep 4
/usr/bin/timeout 60 gst-launch-1.0 qrnacqsrc board=gige0 ! fakesink >"$work/netns-lost.log" 2>&1 &
pipeline=$!
sleep 3
kill -9 $camera
wait $camera 2>/dev/null
t0=$(date +%s)
wait $pipeline
rc=$?
echo "the pipeline ended $(( $(date +%s) - t0 )) s after the camera went away (exit $rc)"
[[ $rc != 0 && $rc != 124 ]] || { cat "$work/netns-lost.log"; bad "the pipeline did not end with an error"; }
grep -q "ERROR: from element .*qrnacqsrc0: Board gige0 cannot acquire any more: gige: camera 127.0.0.1 lost" "$work/netns-lost.log" ||
  { cat "$work/netns-lost.log"; bad "no error naming the lost camera"; }

[[ $fail == 0 ]] && echo "gst_netns: all checks passed"
exit $fail
