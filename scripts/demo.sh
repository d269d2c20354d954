#!/usr/bin/env bash
# Installs what building the demo needs (scripts/install-deps.sh demo), builds
# the libraries, the drivers and qacq in build/default (nothing else), and runs
# the main job: an acquisition from the built-in simulated board, leaving
# images in ./grab-out.  scripts/test.sh builds the rest of the same tree.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake --preset default "${launcher[@]}"
# qacq depends on the driver plugins, so this builds them too.
cmake --build --preset default -j "$(nproc)" --target qacq
build/default/tools/qacq/qacq grab --count 5 --out grab-out "$@"
