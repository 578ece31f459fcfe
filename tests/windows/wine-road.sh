#!/usr/bin/env bash
# The Windows road under Wine: Node.js for Windows runs the bundle's run.cmd
# in the test prefix, as a publisher runs it on Windows. The prefix is
# thrown away after the run, so the cases that plant fakes on drive C: run.
# Usage: wine-road.sh RUN_DIR NODE_EXE BUNDLE [NAME...]
set -eu
run=$1 node=$2 bundle=$3
shift 3
# shellcheck source=tests/wine-env.sh
. "$(dirname "$0")/../wine-env.sh" "$run"
windows() { local p; p=$(realpath -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
[ -f "$node" ] || { echo "wine-road: no Node.js for Windows at $node (tests/node-win.sh fetches it)" >&2; exit 1; }

# Wine's background processes keep the descriptors they inherit: the output
# goes to a file, shown when the run ends.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ZUR_NODE=$(windows "$node") ZUR_TEST_THROW_AWAY_MACHINE=1 \
  wine cmd /c "$(windows "$bundle/run.cmd")" "$@" </dev/null >"$log" 2>&1 || status=$?
cat "$log"
exit "$status"
