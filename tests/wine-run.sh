#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix.
# Usage: wine-run.sh RUN_DIR PROGRAM [ARGUMENTS...]
set -eu
run=$1
shift
# shellcheck source=tests/wine-env.sh
. "$(dirname "$0")/wine-env.sh" "$run"
exec wine "$@"
