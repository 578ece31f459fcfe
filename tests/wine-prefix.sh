#!/usr/bin/env bash
# Makes a fresh Wine prefix in a run folder and keeps its wineserver alive,
# or stops it and removes the run folder again. The tests (fixture wine.prefix
# and wine.shutdown) and the bench (bench/run.mjs) share it.
# Usage: wine-prefix.sh start RUN_DIR SESSION_EXE | stop RUN_DIR
#
# The run folder belongs to the process that started this script (ctest, or
# the bench): RUN_DIR/owner names it. A run folder whose owner still runs is
# never replaced nor removed by anyone else, so two test runs of one build
# tree cannot pull the prefix from under each other.
set -eu
action=$1
run=$2
# shellcheck source=tests/wine-env.sh
. "$(dirname "$0")/wine-env.sh" "$run"

# "PID START-TIME" of a process (a reused PID has another start time), or
# nothing when it is gone.
process_key() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
  # shellcheck disable=SC2086 # the fields after the command name
  set -- "$1" ${stat##*) }
  echo "$1 ${21}"
}

me=$(process_key "$PPID")

fail() {
  echo "wine-prefix: $*" >&2
  exit 1
}

# Fails when another live process owns the run folder.
check_owner() {
  [ -f "$run/owner" ] || return 0
  local owner
  owner=$(cat "$run/owner")
  [ "$owner" = "$me" ] && return 0
  [ -n "$owner" ] && [ "$(process_key "${owner%% *}")" = "$owner" ] || return 0
  fail "$run belongs to another run that is still going" \
    "(process ${owner%% *}: $(tr '\0' ' ' <"/proc/${owner%% *}/cmdline" 2>/dev/null)); left alone"
}

# The wineserver outlives `wineserver -k` for a moment; a new prefix made
# meanwhile may get the old one's inode, and so its server folder, and the
# new wineserver would then find the old one still there.
stop_prefix() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || fail "the wineserver of $WINEPREFIX did not end within 30 s"
  fi
  rm -rf "$run"
}

mkdir -p "$(dirname "$run")"
# One start or stop at a time per run folder (no Wine process may inherit the
# lock: the wineserver would hold it for ever).
exec 9>"$run.lock"
flock 9

case "$action" in
  start)
    check_owner
    # The same run asking again (ctest --repeat repeats fixture set-ups while
    # other tests use the prefix): keep the prefix while it still works.
    if [ "$(cat "$run/owner" 2>/dev/null)" = "$me" ] && grep -qs ready "$run/session.out" && wineserver -k0 2>/dev/null; then
      exit 0
    fi
    stop_prefix
    mkdir -p "$WINEPREFIX"
    echo "$me" >"$run/owner"
    exec 9>&-
    # Wine's background processes keep the descriptors they inherit: give
    # them none of ctest's pipes, or ctest waits for them.
    wineserver -p </dev/null >/dev/null 2>&1 || fail "cannot start a wineserver for $WINEPREFIX"
    # Which process that wineserver is, so that a failed run can tell whether
    # it is still the one serving the prefix (see tests/lib/wine.mjs).
    for pid in $(pgrep -x wineserver64; pgrep -x wineserver); do
      if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        process_key "$pid" >"$run/wineserver"
      fi
    done
    wineboot -i </dev/null >/dev/null 2>&1
    # Node.js for Windows refuses a system older than 8.1; today's browsers
    # need 10.
    wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1
    # wineboot returns before its services settle; one trivial program run
    # makes sure the prefix answers.
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    # Without a display Wine ends its desktop process after the last windowed
    # program, and starting it again can stall the next one (a default
    # handler, a started console) for about 10 s: a session held open keeps
    # it alive for the whole run.
    wine "$3" </dev/null >"$run/session.out" 2>&1 &
    for _ in $(seq 100); do
      grep -q ready "$run/session.out" 2>/dev/null && break
      sleep 0.2
    done
    grep -q ready "$run/session.out" || fail "the desktop session did not start"
    ;;
  stop)
    check_owner
    stop_prefix
    ;;
  *)
    echo "usage: $0 start RUN_DIR SESSION_EXE | stop RUN_DIR" >&2
    exit 2
    ;;
esac
