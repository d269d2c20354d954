#!/usr/bin/env bash
# Builds Release and writes the Debian packages under build/packages/
# (CPack's DEB generator; packaging/QrnCPack.cmake says which packages), then
# checks each with lintian (errors fail).
#   scripts/package.sh              configure and build build/package (no tests)
#   scripts/package.sh BUILD_DIR    package an existing Release build tree
#                                   (it is re-configured for the /usr prefix)
# Then packaging/test-installed.sh build/packages tries them in a fresh root.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/package}"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi

if [[ -f "$build/CMakeCache.txt" ]]; then
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
  [[ "$type" == Release ]] || { echo "$build is a '$type' build, not Release" >&2; exit 1; }
  # Installed paths (the driver directory compiled into the library) follow
  # the prefix: packages install under /usr.
  cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQRN_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
fi
cmake --build "$build" -j "$(nproc)"
# The libraries export what packaging/symbols lists: a lost symbol is an ABI
# break, a new one must be recorded there.
packaging/symbols.sh check "$build"

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB 2>&1) | grep -E '^CPack: - package|CPack Error'
shopt -s nullglob
debs=("$build"/packages/*.deb)
((${#debs[@]} > 0)) || { echo "cpack wrote no package" >&2; exit 1; }
mkdir -p build/packages
rm -f build/packages/*.deb
cp "${debs[@]}" build/packages/

if command -v lintian >/dev/null; then
  # Kept warnings: initial-upload-closes-no-bugs (no Debian bug to close),
  # maintscript-calls-ldconfig (CPack's postinst/postrm beside the trigger).
  lintian --fail-on error --suppress-tags initial-upload-closes-no-bugs,maintscript-calls-ldconfig build/packages/*.deb
else
  echo "lintian not found: packages not checked" >&2
fi
for d in build/packages/*.deb; do
  echo "$d: $(dpkg-deb -f "$d" Depends)"
done
