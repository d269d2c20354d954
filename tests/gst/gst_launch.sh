#!/bin/bash
# The element from gst-launch-1.0 and gst-inspect-1.0, as a user runs it from
# the build tree: the PNGs of "qrnacqsrc num-buffers=5 ! videoconvert ! pngenc
# ! multifilesink" hold the pels of qacq grab's PNGs for the same format and
# test image (grey, 16-bit grey with a region of interest, packed and planar
# colour); a downstream that accepts none of the board's formats gets a
# message naming them; gst-inspect-1.0 documents every property;
# gst-device-monitor-1.0 lists the simulated board.
# Usage: gst_launch.sh QACQ PLUGIN_DIR WORK_DIR
set -euo pipefail
qacq=$1 plugins=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
export GST_PLUGIN_PATH=$plugins GST_REGISTRY=$work/registry.bin
rm -rf "$work/cases" && mkdir -p "$work/cases"
fail=0
bad() { echo "FAIL: $*"; fail=1; }

props=$(/usr/bin/timeout 60 gst-inspect-1.0 qrnacqsrc)
for p in board format image-format exposure trigger hw-trigger roi custom timeout pool-size drop-incomplete \
         num-buffers do-timestamp is-live; do
  grep -qE "^  $p +: [A-Za-z]" <<<"$props" || bad "gst-inspect-1.0 does not document property $p"
done

# name | element properties | qacq grab options
cases=(
  "grey8||"
  "grey16roi|image-format=grey16 roi=10,20,300,200|-i grey16 --roi 10,20,300,200"
  "rgb32|image-format=rgb32 custom=TestImage=color|-i rgb32 --custom TestImage=color"
  "3plane|image-format=3plane custom=TestImage=color;FramePeriod=0|-i 3plane --custom TestImage=color --custom FramePeriod=0"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name eprops qopts <<<"$c"
  dir=$work/cases/$name
  mkdir -p "$dir/gst" "$dir/qacq"
  # shellcheck disable=SC2086
  if ! /usr/bin/timeout 60 gst-launch-1.0 -q qrnacqsrc num-buffers=5 $eprops ! videoconvert ! pngenc ! \
      multifilesink location="$dir/gst/f-%04d.png" >"$dir/log" 2>&1; then
    cat "$dir/log"; bad "$name: the pipeline failed"; continue
  fi
  # shellcheck disable=SC2086
  /usr/bin/timeout 60 "$qacq" grab --count 5 --out "$dir/qacq" -q $qopts >/dev/null
  for i in 1 2 3 4 5; do
    g=$dir/gst/f-$(printf %04d $((i - 1))).png q=$dir/qacq/frame-$(printf %04d "$i").png
    [[ -f $g ]] || { bad "$name: frame $i not written"; continue; }
    /usr/bin/python3 "$here/pngpels.py" "$g" "$q" || bad "$name: frame $i differs from qacq grab's"
  done
  echo "$name: $(/usr/bin/python3 "$here/pngpels.py" "$dir/gst/f-0000.png") (width height channels depth)"
done
# Frames differ from one another (the gradient moves), so the comparison
# above also checks their order.
if /usr/bin/python3 "$here/pngpels.py" "$work/cases/grey8/gst/f-0000.png" "$work/cases/grey8/qacq/frame-0002.png" >/dev/null; then
  bad "grey8: frames 1 and 2 hold the same pels"
fi

# Caps negotiation failure: the message names what the board offers.
# (pngenc takes GRAY16_BE, not the board's GRAY16_LE.)
if out=$(/usr/bin/timeout 60 gst-launch-1.0 qrnacqsrc num-buffers=1 image-format=grey16 ! pngenc ! fakesink 2>&1); then
  bad "pngenc negotiated 16-bit grey in little-endian order"
else
  grep -q 'Downstream accepts none of the formats that board sim0 offers for "Sony XC75 640x480" (640x480): GRAY16_LE (grey16)' <<<"$out" ||
    { echo "$out"; bad "the negotiation error does not name the board's formats"; }
fi
# Unset image-format offers every image format of the board: downstream picks.
/usr/bin/timeout 60 gst-launch-1.0 -q qrnacqsrc num-buffers=2 ! video/x-raw,format=RGB16 ! fakesink ||
  bad "a downstream that takes only RGB16 did not get rgb16 images"
# A bad setting fails at start with the reason.
out=$(/usr/bin/timeout 60 gst-launch-1.0 qrnacqsrc format="No Such Camera" ! fakesink 2>&1) && bad "an unknown format started"
grep -q 'unknown video format "No Such Camera"' <<<"$out" || { echo "$out"; bad "the unknown format is not named"; }

# The device monitor lists the simulated board; its element acquires.
devs=$(/usr/bin/timeout 60 gst-device-monitor-1.0 Video/Source 2>&1)
grep -q 'name  : Quorin sim0: Sony XC75 640x480' <<<"$devs" || { echo "$devs"; bad "the device monitor does not list sim0"; }
grep -q 'gst-launch-1.0 qrnacqsrc board=sim0 ! ' <<<"$devs" || { echo "$devs"; bad "no pipeline for sim0's device"; }

if [[ $fail == 0 ]]; then echo "gst_launch: all checks passed"; fi
exit $fail
