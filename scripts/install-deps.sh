#!/usr/bin/env bash
# Installs the Debian packages the project needs (build, tests, tools).
# Runs apt-get only when something is missing.  Needs root (or sudo).
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libsdl2-ttf-dev fonts-dejavu-core xvfb xdotool xauth libx11-dev
  libaravis-dev libusb-1.0-0-dev aravis-tools iproute2 util-linux
  libpng-dev libcli11-dev zlib1g-dev
  clang libclang-rt-14-dev
  locales
)
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
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
