#!/usr/bin/env bash
# test-installed.sh PKGDIR: installs the Debian packages of PKGDIR into a fresh
# root and uses them from there, as a user would, without touching this
# machine's own system:
#   - `dpkg -x` unpacks every package into a temporary directory;
#   - in a private mount namespace (unshare, as an unprivileged user too) an
#     overlay puts that directory's usr/ over the real /usr, so the packages sit
#     exactly where they install (/usr/lib/<triplet>/qrnacq/drivers, ...) and
#     nothing outside the namespace ever sees them;
#   - there: an outside application built with find_package(qrnacq) and one
#     built with pkg-config run three frames on the simulated board, and
#     `qacq boards`, `qacq grab --count 3` and `man qacq` work; the drivers are
#     found with QUORIN_DRIVER_DIR unset; the GStreamer element, the Python
#     module and the GenTL producer work when their packages are there.
# Every package's Depends must already be installed here (they name the
# Debian packages the build used).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
pkgdir="$(cd "${1:?usage: $0 PKGDIR}" && pwd)"

if [[ "${QRN_IN_NAMESPACE:-}" != 1 ]]; then
  shopt -s nullglob
  debs=("$pkgdir"/*.deb)
  ((${#debs[@]} > 0)) || { echo "no packages in $pkgdir" >&2; exit 1; }
  work="$(mktemp -d /tmp/qrnacq-installed.XXXXXX)"
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/root"
  for d in "${debs[@]}"; do
    echo "unpacking $(basename "$d")"
    dpkg -x "$d" "$work/root"
    # Each dependency on a package that is not ours must be installed here.
    deps=$(dpkg-deb -f "$d" Depends | tr ',' '\n' | sed -e 's/^ *//' -e 's/ .*//' | grep -v '^$' || true)
    for p in $deps; do
      if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        ls "$pkgdir"/"${p}"_*.deb >/dev/null 2>&1 || { echo "$(basename "$d"): dependency $p is not installed" >&2; exit 1; }
      fi
    done
  done
  # Nothing installed may name the source or build tree (a path compiled in
  # for running from the build tree, a run path, a generated file).
  src="$(cd "$here/.." && pwd)"
  if leaks=$(grep -rlF "$src" "$work/root"); then
    echo "installed files that name the source or build tree ($src):" >&2
    echo "$leaks" | sed "s|^$work/root||" >&2
    exit 1
  fi
  QRN_IN_NAMESPACE=1 QRN_ROOT="$work/root" QRN_WORK="$work" \
    unshare --map-root-user --mount "$0" "$pkgdir"
  exit $?
fi

# Inside the private mount namespace.
mount -t overlay overlay -o "lowerdir=$QRN_ROOT/usr:/usr" /usr
unset QUORIN_DRIVER_DIR LD_LIBRARY_PATH PKG_CONFIG_PATH CMAKE_PREFIX_PATH PYTHONPATH GST_PLUGIN_PATH
export QUORIN_REGISTRY_FILE="$QRN_WORK/no-registry.reg" PATH=/usr/bin:/bin
work="$QRN_WORK"
set -x

# An outside application with find_package(qrnacq).
cmake -S "$here/app" -B "$work/app-cmake" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/app-cmake" | tail -n 20
ldd "$work/app-cmake/outside_app" | grep -E "libqrn(acq|std).so.0 => (/usr)?/lib/"
"$work/app-cmake/outside_app"

# The same with pkg-config.
# shellcheck disable=SC2046
g++ -o "$work/app-pc" "$here/app/main.cpp" $(pkg-config --cflags --libs qrnacq)
"$work/app-pc"

# The tool and its man page.
qacq --version
qacq boards | tee "$work/boards.txt"
grep -q . "$work/boards.txt"
qacq grab --count 3 --out "$work/grab"
[[ $(find "$work/grab" -type f | wc -l) -eq 3 ]]
MANPAGER=cat MANWIDTH=80 man qacq >"$work/man.txt"
grep -q "^COMMANDS" "$work/man.txt" && grep -q "qacq grab" "$work/man.txt"
# The GStreamer element, when its package is there: three frames to nowhere.
if [[ -d "$QRN_ROOT/usr/lib/$(gcc -print-multiarch)/gstreamer-1.0" ]]; then
  export GST_REGISTRY="$work/gst-registry.bin"
  gst-inspect-1.0 qrnacqsrc >/dev/null
  gst-launch-1.0 -q qrnacqsrc num-buffers=3 ! fakesink
fi
# The Python module, when its package is there, with Debian's interpreter.
if [[ -d "$QRN_ROOT/usr/lib/python3/dist-packages" ]]; then
  (cd "$work" && /usr/bin/python3 -c '
import qrnacq
with qrnacq.board("sim0").fifo("Sony XC75 640x480", "grey8") as f:
    f.start(1)
    image, info = f.complete(timeout=5.0)
    assert image.shape == (480, 640), image.shape
print("python: one 640x480 image")
')
fi
# The GenTL producer, when its package is there: loaded as a consumer loads
# it, it lists the simulated board as a device.
cti="/usr/lib/$(gcc -print-multiarch)/qrnacq/gentl/qrnacq.cti"
if [[ -f "$QRN_ROOT$cti" ]]; then
  /usr/bin/python3 - "$cti" <<'PY'
import ctypes, sys
gentl = ctypes.CDLL(sys.argv[1])
def ok(rc, what):
    assert rc == 0, f"{what}: GenTL error {rc}"
h, iface = ctypes.c_void_p(), ctypes.c_void_p()
changed, n = ctypes.c_uint8(), ctypes.c_uint32()
ok(gentl.GCInitLib(), "GCInitLib")
ok(gentl.TLOpen(ctypes.byref(h)), "TLOpen")
ok(gentl.TLUpdateInterfaceList(h, ctypes.byref(changed), ctypes.c_uint64(1000)), "TLUpdateInterfaceList")
ok(gentl.TLGetNumInterfaces(h, ctypes.byref(n)), "TLGetNumInterfaces")
assert n.value >= 1, "no interface"
name, size = ctypes.create_string_buffer(256), ctypes.c_size_t(256)
ok(gentl.TLGetInterfaceID(h, ctypes.c_uint32(0), name, ctypes.byref(size)), "TLGetInterfaceID")
ok(gentl.TLOpenInterface(h, name, ctypes.byref(iface)), "TLOpenInterface")
ok(gentl.IFUpdateDeviceList(iface, ctypes.byref(changed), ctypes.c_uint64(1000)), "IFUpdateDeviceList")
ok(gentl.IFGetNumDevices(iface, ctypes.byref(n)), "IFGetNumDevices")
assert n.value >= 1, "no device"
ok(gentl.IFClose(iface), "IFClose")
ok(gentl.TLClose(h), "TLClose")
ok(gentl.GCCloseLib(), "GCCloseLib")
print(f"gentl: interface {name.value.decode()} with {n.value} device(s)")
PY
fi
set +x
echo "installed packages: outside applications (CMake, pkg-config), qacq boards/grab and man qacq passed"
