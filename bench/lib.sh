# Shell helpers of the benchmark scripts (source it).

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

# The CPU time, in nanoseconds, of every thread of the processes "$@" so far.
cpu_ns() { for p in "$@"; do cat /proc/"$p"/task/*/schedstat 2>/dev/null; done | awk '{s += $1} END {printf "%.0f\n", s}'; }

# bench_in_netns "$0" "$@": runs the calling script again in a private network
# namespace with loopback alone (exit 77 where namespaces are not permitted);
# there, brings loopback up and returns.  Nothing goes beyond this machine.
bench_in_netns() {
  if [[ "${QRN_BENCH_IN_NETNS:-}" != 1 ]]; then
    unshare -n true 2>/dev/null || { echo "SKIP: network namespaces are not permitted here" >&2; exit 77; }
    exec unshare -n env QRN_BENCH_IN_NETNS=1 "$@"
  fi
  ip link set lo up
  [[ $(ip -o link show | wc -l) == 1 ]] || { echo "not isolated" >&2; exit 1; }
}
