#!/usr/bin/env bash
# Installs what is needed, builds everything with warnings as errors, and runs
# every test.  Usage: scripts/test.sh [preset]   (default preset: ci)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"
scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake --preset "$preset" "${launcher[@]}"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset"
