#!/usr/bin/env bash
# Installs what is needed, builds the library and runs the main job: an
# acquisition from the built-in simulated board, leaving images in ./grab-out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake --preset default -DQRN_BUILD_TESTS=OFF "${launcher[@]}"
cmake --build --preset default -j "$(nproc)"
if [[ -x build/default/tools/qacq/qacq ]]; then
  build/default/tools/qacq/qacq grab --count 5 --out grab-out "$@"
else
  build/default/examples/first_steps
fi
