#!/usr/bin/env bash
# Makes a fresh Wine prefix for one test run and keeps its wineserver alive,
# or stops it and removes the prefix again.
# Usage: wine-prefix.sh start WINE_DIR SESSION_EXE | stop WINE_DIR
set -eu
action=$1
dir=$2
# shellcheck source=tests/wine-env.sh
. "$(dirname "$0")/wine-env.sh" "$dir"

stop_prefix() {
  WINEPREFIX="$1/prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$1"
}

case "$action" in
  start)
    # Prefixes of runs whose ctest is gone.
    for run in "$dir"/run-*; do
      [ -d "$run" ] || continue
      kill -0 "${run##*/run-}" 2>/dev/null || stop_prefix "$run"
    done
    stop_prefix "$ZUR_TEST_WINE_RUN"
    mkdir -p "$WINEPREFIX"
    # Wine's background processes keep the descriptors they inherit: give
    # them none of ctest's pipes, or ctest waits for them.
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1
    # wineboot returns before its services settle; one trivial program run
    # makes sure the prefix answers.
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    # Without a display Wine ends its desktop process after the last windowed
    # program, and starting it again can stall the next one (a default
    # handler, a started console) for about 10 s: a session held open keeps
    # it alive for the whole run.
    wine "$3" </dev/null >"$ZUR_TEST_WINE_RUN/session.out" 2>&1 &
    for _ in $(seq 100); do
      grep -q ready "$ZUR_TEST_WINE_RUN/session.out" 2>/dev/null && break
      sleep 0.2
    done
    grep -q ready "$ZUR_TEST_WINE_RUN/session.out" || { echo "the desktop session did not start" >&2; exit 1; }
    ;;
  stop)
    stop_prefix "$ZUR_TEST_WINE_RUN"
    ;;
  *)
    echo "usage: $0 start WINE_DIR SESSION_EXE | stop WINE_DIR" >&2
    exit 2
    ;;
esac
