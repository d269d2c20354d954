#!/usr/bin/env bash
# Installs the Debian packages the project needs.  Runs apt-get only when
# something is missing.  Needs root (or sudo).
#   scripts/install-deps.sh          everything: build, tests, bindings, packaging
#   scripts/install-deps.sh demo     only what building the libraries and qacq needs
set -euo pipefail
group="${1:-all}"

# Building the libraries, the drivers and qacq.
DEMO=(
  cmake ninja-build g++ pkg-config ccache
  libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core
  libaravis-dev libusb-1.0-0-dev
  libpng-dev libcli11-dev zlib1g-dev
)
# Tests, sanitizers, fuzzing, the X11 and network-namespace suites.
TESTS=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool xauth libx11-dev
  aravis-tools iproute2 util-linux
  clang libclang-rt-14-dev
  locales
)
# The Python module.
PYTHON=(pybind11-dev python3-dev python3-numpy python3-pytest mypy)
# The GStreamer element and its tests; the README's window pipeline
# (gstreamer1.0-x), the element's benchmark (python3-gi) and the device
# provider's test (gst-device-monitor-1.0: gstreamer1.0-plugins-base-apps).
GSTREAMER=(
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-base-apps gstreamer1.0-x python3-gi gir1.2-gstreamer-1.0
)
# Packages, the reference manual and the man page.
PACKAGING=(lintian doxygen graphviz help2man file dpkg-dev)

case "$group" in
  demo) PACKAGES=("${DEMO[@]}") ;;
  all) PACKAGES=("${DEMO[@]}" "${TESTS[@]}" "${PYTHON[@]}" "${GSTREAMER[@]}" "${PACKAGING[@]}") ;;
  *) echo "usage: $0 [demo|all]" >&2; exit 2 ;;
esac
if [[ "${QRN_WITH_OPENCV:-0}" == 1 ]]; then PACKAGES+=(libopencv-dev); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
if ((${#missing[@]} > 0)); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A comma-decimal locale: the tests check that number text ignores it.
if [[ "$group" == all ]] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
