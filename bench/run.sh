#!/bin/sh
# Measures the installer and the desktop host under Wine (bench/run.mjs) and
# writes bench/RESULTS.md.
#
# Usage: bench/run.sh [--no-build]
#   --no-build   use the programs already in build/ instead of building
#   BENCH_RUNS   timed runs of each program and of the gateway wait
#                (default 21, at least 20)
set -eu
ZUR_BENCH_STARTED_US=$(date +%s%6N)
export ZUR_BENCH_STARTED_US
cd "$(dirname "$0")/.."
case "${1:-}" in
  "") ZUR_BENCH_BUILT=1 ;;
  --no-build) ZUR_BENCH_BUILT=0 ;;
  *) echo "usage: bench/run.sh [--no-build]" >&2; exit 2 ;;
esac
export ZUR_BENCH_BUILT
./scripts/ensure-deps.sh bench
[ "$ZUR_BENCH_BUILT" = 0 ] || ./scripts/build-all.sh >&2
# Run as root, the measurements get a network namespace of their own: port
# 4300 is then the bench's alone, whatever else runs on the machine.
if [ "$(id -u)" -eq 0 ] && command -v ip >/dev/null && unshare -n true 2>/dev/null; then
  exec unshare -n -- sh -c 'ip link set lo up && ZUR_BENCH_NETNS=1 exec node bench/run.mjs'
fi
exec node bench/run.mjs
