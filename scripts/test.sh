#!/usr/bin/env bash
# Installs what is needed, builds everything with warnings as errors, and runs
# every test.  Usage: scripts/test.sh [preset]   (default: the tree
# build/default that scripts/demo.sh uses too; also asan, tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
# Configuring again picks up optional parts whose packages were installed
# since the tree was first configured (by scripts/demo.sh, say).
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cmake --preset "$preset" -DQRN_BUILD_TESTS=ON "${launcher[@]}" | tee "$log"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset"
# What this tree left out, and why (the configure step says how to get it).
if grep -qi 'not built' "$log"; then
  echo
  echo "Left out of this build:"
  grep -i 'not built' "$log" | sed 's/^-- /  /'
fi
