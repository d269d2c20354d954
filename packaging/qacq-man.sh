#!/usr/bin/env bash
# qacq-man.sh QACQ OUT: writes the man page OUT (and OUT.gz) of the program
# QACQ with help2man: its --help and --version, and a COMMANDS section with
# the --help of every command that --help lists.
set -euo pipefail
qacq="$1" out="$2"
inc="$out.include"
# Never look for drivers or a registry store while asking for help.
export QUORIN_DRIVER_DIR=/nonexistent QUORIN_REGISTRY_FILE=/nonexistent
commands=$("$qacq" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p')
[[ -n "$commands" ]] || { echo "qacq-man.sh: no commands in '$qacq --help'" >&2; exit 1; }
{
  echo "[COMMANDS]"
  for c in $commands; do
    echo ".SS $c"
    echo ".nf"
    # roff: backslashes escaped, lines that start with a dot or quote made text.
    "$qacq" "$c" --help | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
    echo ".fi"
  done
  cat <<'TXT'
[ENVIRONMENT]
.TP
.B QUORIN_DRIVER_DIR
Directories (separated by ';') holding the board driver plugins, in place of the installed driver directory.
.TP
.B QUORIN_REGISTRY_FILE
The registry store (default /etc/quorin/registry.reg).
.TP
.B QUORIN_GIGE_CAMERAS
The GigE Vision / USB3 Vision cameras to open (';'-separated device ids or addresses), in place of the registry store's list.
TXT
} >"$inc"
help2man --no-info --no-discard-stderr --section=1 \
  --name="find frame grabbers, grab images, edit a board's hardware configuration" \
  --include="$inc" --output="$out" "$qacq"
gzip -9nf "$out"
