#!/usr/bin/env bash
# The Debian symbols file of libqrnacq0 (packaging/symbols, shipped in the
# package's control area): every symbol the shared libraries export.
#   packaging/symbols.sh check BUILD_DIR    fail when the libraries of
#                                           BUILD_DIR export another set
#   packaging/symbols.sh update BUILD_DIR   write packaging/symbols anew
# Weak symbols (inline functions and templates instantiated where they are
# used, which come and go with the compiler's inlining) are marked optional
# and left out of the comparison: what counts is what the sources define.  A
# symbol that disappears breaks every program linked against it; a new one
# is compatible but must be recorded (update, and say so in the commit).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
build=${2:-}
[[ ( "$mode" == check || "$mode" == update ) && -d "$build" ]] || {
  echo "usage: $0 check|update BUILD_DIR" >&2; exit 2; }

version=$(sed -n 's/^project(qrnacq VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
major=${version%%.*}
libs=()
for name in qrnstd qrnacq qrtcdb; do
  lib=$(find "$build/src" -maxdepth 1 -name "lib$name.so.$version" -type f | head -n 1)
  [[ -n "$lib" ]] || { echo "$0: lib$name.so.$version not found under $build/src" >&2; exit 1; }
  libs+=("$lib")
done

# dpkg-gensymbols' listing, weak symbols tagged optional.
generate() {
  local tmp weak
  tmp=$(mktemp -d)
  weak="$tmp/weak"
  for lib in "${libs[@]}"; do
    nm -D --defined-only "$lib" | awk '$2 ~ /^[WVu]$/ {print $3}'
  done | sort -u >"$weak"
  # dpkg-gensymbols wants a package tree with a control file; a bare one does.
  mkdir -p "$tmp/debian" "$tmp/pkg"
  printf 'Source: qrnacq\n\nPackage: libqrnacq%s\nArchitecture: any\n' "$major" >"$tmp/debian/control"
  local eargs=() lib
  for lib in "${libs[@]}"; do eargs+=("-e$(realpath "$lib")"); done
  (cd "$tmp" && dpkg-gensymbols -q -p"libqrnacq$major" -v"$version" -P"$tmp/pkg" "${eargs[@]}" -O) |
    awk -v weakfile="$weak" '
      BEGIN { while ((getline s < weakfile) > 0) weak[s] = 1 }
      /^ / { split(substr($0, 2), f, "@"); if (f[1] in weak) { print " (optional)" substr($0, 2); next } }
      { print }'
  rm -rf "$tmp"
}

# The symbol names a listing requires (optional ones left out), sorted.
required() { awk '/^ / && $1 !~ /^\(optional\)/ { split($1, f, "@"); print f[1] }' "$1" | sort -u; }

current=$(mktemp)
trap 'rm -f "$current"' EXIT
generate >"$current"
if [[ "$mode" == update ]]; then
  cp "$current" packaging/symbols
  echo "packaging/symbols: $(required packaging/symbols | wc -l) symbols, $(grep -c '(optional)' packaging/symbols) optional"
  exit 0
fi

lost=$(comm -23 <(required packaging/symbols) <(required "$current"))
added=$(comm -13 <(required packaging/symbols) <(required "$current"))
if [[ -n "$lost" || -n "$added" ]]; then
  if [[ -n "$lost" ]]; then
    echo "ABI: these symbols of libqrnacq$major are gone (programs linked against them break):"
    c++filt <<<"$lost" | sed 's/^/  - /'
  fi
  if [[ -n "$added" ]]; then
    echo "ABI: new symbols, not yet in packaging/symbols:"
    c++filt <<<"$added" | sed 's/^/  + /'
  fi
  echo "If the change is meant, run: packaging/symbols.sh update $build"
  exit 1
fi
echo "packaging/symbols: the libraries export what it lists ($(required "$current" | wc -l) symbols)"
