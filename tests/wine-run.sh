#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix.
# Usage: wine-run.sh WINE_DIR PROGRAM [ARGUMENTS...]
set -eu
dir=$1
shift
# shellcheck source=tests/wine-env.sh
. "$(dirname "$0")/wine-env.sh" "$dir"
exec wine "$@"
