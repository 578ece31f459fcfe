#!/usr/bin/env bash
# Runs one fuzz target for a bounded time: run-fuzzer.sh FUZZER SECONDS WORK_DIR SEED_DIR
# New inputs go to WORK_DIR/corpus (kept between runs, so coverage grows);
# a finding goes to WORK_DIR/findings and makes the run fail. The committed
# seeds, regression inputs among them, are replayed first.
set -euo pipefail
fuzzer=$1 seconds=$2 work=$3 seeds=$4
mkdir -p "$work/corpus" "$work/findings"
# Low priority: the fuzzer takes what the timing-sensitive tests leave. An
# input counts as a hang after 60 s: at low priority on a busy machine one
# that takes milliseconds was seen to wait 16 s for the processor.
exec nice -n 10 "$fuzzer" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$work/findings/" "$work/corpus" "$seeds"
