#!/bin/sh
# Runs the network tests of the camera driver (test_gige_net, given as $1)
# inside a private network namespace that holds only loopback, with addresses
# 127.0.0.2 to .7 for more fake cameras.  Nothing leaves the namespace.
# Exit 77 (skipped) where namespaces are not permitted.
set -u
if ! unshare -n true 2>/dev/null; then
  echo "SKIP: network namespaces are not permitted here (unshare -n failed)"
  exit 77
fi
if ! command -v arv-fake-gv-camera-0.8 >/dev/null 2>&1 || ! command -v ip >/dev/null 2>&1; then
  echo "SKIP: arv-fake-gv-camera-0.8 (aravis-tools) or ip (iproute2) missing"
  exit 77
fi
exec unshare -n sh -c 'ip link set lo up && for a in 2 3 4 5 6 7; do ip addr add 127.0.0.$a/8 dev lo; done && exec "$0" "$@"' "$@"
