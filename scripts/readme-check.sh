#!/usr/bin/env bash
# Runs the README's commands as a reader would after its two commands
# (scripts/demo.sh, then scripts/test.sh): every shell command of the README,
# top to bottom, except those that need hardware, a window, the system's own
# directories or a build tree of their own (the table below says which and
# why).  Stops at the first command that fails and names it with its README
# line.  The commands are read from the README itself: the lines of its sh
# blocks, and inline code that runs something in a build tree.
#   scripts/readme-check.sh          run them
#   scripts/readme-check.sh --list   only say which would run and which not
# It runs in a private network namespace holding only loopback when it can
# (as root), so that no command can reach another machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ "${1:-}" != --list && -z "${QRN_README_NETNS:-}" ]] && unshare -n true 2>/dev/null; then
  exec unshare -n env QRN_README_NETNS=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi

# pattern (extended regex over the command) | why it is not run here
skips=(
  '^scripts/(demo|test)\.sh|the two commands themselves (run before this check)'
  'scripts/package\.sh|apt install|test-installed\.sh|packages: a stage of their own'
  'cmake --install|installs into the system'
  '^ctest |runs every test again (scripts/test.sh did)'
  'qacq (live|show)|autovideosink|opens a window'
  '192\.168\.|needs a camera on the network'
  '^qacq cameras *(#|$)|discovery broadcasts on every interface'
  '^qacq [a-z]+ --board gige|needs a configured camera'
  'my\.ccf|other\.ccf|names a file of the reader'"'"'s'
  'build/bench|--preset bench|builds a Release tree of its own (minutes)'
  'udpsrc|udpsink|streams until stopped'
  '<[a-z]+>|has a placeholder'
)

# Each command as "LINE<TAB>TEXT": sh-block lines (continuations joined,
# comment lines dropped), then inline spans of prose that run something in a
# build tree (a span with a space, or a path under build/ without a suffix).
extract() {
  awk '
    /^```/ { if (inblock) { inblock = 0 } else if ($0 ~ /^```(sh|bash)[ \t]*$/) { inblock = 1 } else { other = !other }; next }
    other { next }
    inblock {
      if (cmd == "") { start = NR }
      line = $0
      if (cmd == "" && line ~ /^[ \t]*(#|$)/) next
      if (line ~ /\\$/) { cmd = cmd substr(line, 1, length(line) - 1); next }
      cmd = cmd line
      print start "\t" cmd
      cmd = ""
      next
    }
    {
      rest = $0
      while (match(rest, /`[^`]*build\/[^`]*`/)) {
        span = substr(rest, RSTART + 1, RLENGTH - 2)
        rest = substr(rest, RSTART + RLENGTH)
        if (span ~ / / || (span ~ /^build\/[^ \/]+\/[^ \/]+\/[^ ]*[^\/]$/ && span !~ /\.[a-z]+$/)) print NR "\t" span
      }
    }
  ' README.md
}

# An entry's pattern holds '|' alternatives: the reason follows the last '|'.
why_skipped() {
  local cmd=$1 entry
  for entry in "${skips[@]}"; do
    if [[ "$cmd" =~ ${entry%|*} ]]; then
      echo "${entry##*|}"
      return 0
    fi
  done
  return 1
}

mapfile -t commands < <(extract)
((${#commands[@]} > 0)) || { echo "readme-check: no command found in README.md" >&2; exit 1; }

if [[ "${1:-}" == --list ]]; then
  for c in "${commands[@]}"; do
    if why=$(why_skipped "${c#*$'\t'}"); then
      printf 'skip  README.md:%s  %s  (%s)\n' "${c%%$'\t'*}" "${c#*$'\t'}" "$why"
    else
      printf 'run   README.md:%s  %s\n' "${c%%$'\t'*}" "${c#*$'\t'}"
    fi
  done
  exit 0
fi

# What the commands leave in the clone (frames, databases, recordings) is
# removed afterwards; the per-board settings they change go to a store of
# their own, never the machine's.
scratch=$(mktemp -d)
before=$(ls -A "$root")
cleanup() {
  local e
  for e in $(ls -A "$root"); do
    grep -qxF "$e" <<<"$before" || rm -rf "${root:?}/$e"
  done
  rm -rf "$scratch"
}
trap cleanup EXIT
export QUORIN_REGISTRY_FILE="$scratch/registry.reg"

if [[ -n "${QRN_README_NETNS:-}" ]]; then
  echo "readme-check: in a private network namespace (loopback only)"
else
  echo "readme-check: namespaces not permitted here: running in the machine's network"
fi
ran=0 skipped=0
for c in "${commands[@]}"; do
  line=${c%%$'\t'*} cmd=${c#*$'\t'}
  if why=$(why_skipped "$cmd"); then
    skipped=$((skipped + 1))
    continue
  fi
  echo "--- README.md:$line: $cmd"
  if [[ "$cmd" =~ ^export\  ]]; then
    # An export sets the environment of the commands that follow it.
    eval "$cmd"
  elif ! (cd "$root" && timeout 600 bash -e -o pipefail -c "$cmd" </dev/null); then
    echo "readme-check: README.md line $line failed: $cmd" >&2
    exit 1
  fi
  ran=$((ran + 1))
done
echo "readme-check: $ran README commands ran, $skipped not run here (scripts/readme-check.sh --list says why)"
