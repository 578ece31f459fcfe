#!/usr/bin/env bash
# Measures the installer and the desktop host under Wine: sizes (next to an
# NSIS installer of the same four files), wall times and peak memory (next to
# a no-op program), and how long the host takes to notice a gateway that
# comes up while it waits. Prints the table and writes it to bench/RESULTS.md.
#
# Usage: bench/run.sh [--no-build]
#   --no-build   use the programs already in build/ instead of building
#   BENCH_RUNS   timed runs of each program and of the gateway wait
#                (default 21, at least 20)
set -euo pipefail
export LC_ALL=C.UTF-8 LANG=C.UTF-8

bench=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$bench")
work=$bench/work
runs=${BENCH_RUNS:-21}
rss_runs=5

die() {
  echo "bench: $*" >&2
  exit 1
}

now_us() { echo "${EPOCHREALTIME/[.,]/}"; }

[[ $runs =~ ^[0-9]+$ ]] && [ "$runs" -ge 20 ] || die "BENCH_RUNS must be a number of at least 20"
case "${1:-}" in
  "") build=yes ;;
  --no-build) build=no ;;
  *) die "usage: bench/run.sh [--no-build]" ;;
esac

# ---------------------------------------------------------------------------
# Packages and build. Then, when we may, the measurements run again in a
# network namespace of their own: port 4300 is then ours alone, whatever else
# (tests, a real gateway) runs on the machine.
if [ -z "${ZUR_BENCH_STARTED_US:-}" ]; then
  export ZUR_BENCH_STARTED_US
  ZUR_BENCH_STARTED_US=$(now_us)
  cd "$root"
  ./scripts/ensure-deps.sh bench
  [ $build = no ] || ./scripts/build-all.sh >&2
  if [ "$(id -u)" -eq 0 ] && command -v ip >/dev/null && unshare -n true 2>/dev/null; then
    ZUR_BENCH_NETNS=1 exec unshare -n -- "$bench/run.sh" "$@"
  fi
fi
if [ "${ZUR_BENCH_NETNS:-}" = 1 ]; then
  ip link set lo up
  network="private network namespace (loopback only)"
else
  network="the machine's network (port 4300 shared with other programs)"
fi

host=$root/build/win64/desktop-tauri/native-win64/ZUR-Vedozaruz-Desktop.exe
installer=$root/build/win64/desktop-tauri/native-win64/ZUR-Vedozaruz-Setup-3.4.0-x64.exe
recorder=$root/build/win64/tests/zur_test_recorder.exe
icon=$root/desktop-tauri/icons/icon.ico
config=$root/desktop-tauri/tauri.conf.json
for f in "$host" "$installer" "$recorder" "$icon" "$config"; do
  [ -f "$f" ] || die "missing $f (build first: ./scripts/build-all.sh)"
done

# The Wine prefix and its environment are the tests' (tests/wine-prefix.sh).
prefix_script=$root/tests/wine-prefix.sh
wine_run=$work/wine
# shellcheck source=tests/wine-env.sh
. "$root/tests/wine-env.sh" "$wine_run"

listener_pid=
cleanup() {
  [ -z "$listener_pid" ] || kill "$listener_pid" 2>/dev/null || true
  "$prefix_script" stop "$wine_run" || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A leftover prefix of an interrupted run goes first, with its wineserver.
"$prefix_script" stop "$wine_run" || die "cannot remove the prefix of an earlier run"
rm -rf "$work"
mkdir -p "$work"

# ---------------------------------------------------------------------------
# The floor: a program that does nothing, built like the shipped ones.
build_exe() {
  x86_64-w64-mingw32-g++-posix -std=c++20 -Os -ffunction-sections -fdata-sections \
    -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp "$@"
}
noop=$work/noop.exe
build_exe "$bench/noop.cc" -o "$noop"
build_exe "$root/tests/helpers/session.cc" -o "$work/session.exe" -luser32

# The same four files packed by NSIS.
payload=$work/nsis
mkdir -p "$payload"
cp "$host" "$payload/ZUR-Vedozaruz-Desktop.exe"
cp "$icon" "$payload/ZUR-Vedozaruz.ico"
cp "$config" "$payload/tauri.conf.json"
printf '@echo off\r\nstart "" "%%~dp0ZUR-Vedozaruz-Desktop.exe" %%*\r\n' >"$payload/Launch-ZUR-Vedozaruz.cmd"
[ "$(stat -c %s "$payload/Launch-ZUR-Vedozaruz.cmd")" -eq 57 ] || die "the launcher script is not 57 bytes"
cat >"$payload/setup.nsi" <<'EOF'
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
SilentInstall silent
Name "ZUR Vedozaruz"
OutFile "ZUR-Vedozaruz-Setup-NSIS.exe"
InstallDir "$LOCALAPPDATA\OLVENTA\ZUR-Vedozaruz"
Section
  SetOutPath "$INSTDIR"
  File "ZUR-Vedozaruz-Desktop.exe"
  File "ZUR-Vedozaruz.ico"
  File "tauri.conf.json"
  File "Launch-ZUR-Vedozaruz.cmd"
SectionEnd
EOF
(cd "$payload" && makensis -V1 setup.nsi >/dev/null)
nsis=$payload/ZUR-Vedozaruz-Setup-NSIS.exe
artifacts=(ZUR-Vedozaruz-Desktop.exe ZUR-Vedozaruz.ico tauri.conf.json Launch-ZUR-Vedozaruz.cmd)

size() { stat -c %s "$1"; }
host_bytes=$(size "$host")
installer_bytes=$(size "$installer")
nsis_bytes=$(size "$nsis")
payload_bytes=$((host_bytes + $(size "$icon") + $(size "$config") + 57))

# ---------------------------------------------------------------------------
# The Wine prefix, with its wineserver kept alive for the whole run.
echo "bench: making the Wine prefix" >&2
"$prefix_script" start "$wine_run" "$work/session.exe" || die "the Wine prefix could not be made"

# Everything the runs write lives in C:\zur-bench (paths without spaces, so
# NSIS's /D= takes them as they are).
scratch=$WINEPREFIX/drive_c/zur-bench
mkdir -p "$scratch/host"
cp "$host" "$scratch/host/ZUR-Vedozaruz-Desktop.exe"
host_c='C:\zur-bench\host\ZUR-Vedozaruz-Desktop.exe'
# The recording stand-in as the first browser the host looks for.
edge="$WINEPREFIX/drive_c/Program Files (x86)/Microsoft/Edge/Application"
mkdir -p "$edge"
cp "$recorder" "$edge/msedge.exe"
# A gateway script that exists, with no node.exe anywhere the host looks
# (its own folder, system32, the Windows folder, Wine's default PATH).
: >"$scratch/gateway.mjs"
export ZUR_GATEWAY_SCRIPT='C:\zur-bench\gateway.mjs'

# ---------------------------------------------------------------------------
# Runners. Each runs `wine ARGS...` with its output in files (Wine's
# background processes keep inherited pipes open) and leaves its figure in
# `sample`; a failing program stops the bench.
out=$work/out
err=$work/err

check_status() {
  [ "$1" -eq 0 ] || die "wine ${*:2} exited with status $1: $(head -c 2000 "$err")"
}

# Wall time in microseconds; also leaves the moments in started_us, ended_us.
timed_wine() {
  local status=0
  started_us=$(now_us)
  wine "$@" </dev/null >"$out" 2>"$err" || status=$?
  ended_us=$(now_us)
  check_status $status "$@"
  sample=$((ended_us - started_us))
}

# Peak resident set in KiB, as the kernel reports it for the wine process.
rss_wine() {
  local status=0
  /usr/bin/time -o "$work/rss" -f %M wine "$@" </dev/null >"$out" 2>"$err" || status=$?
  check_status $status "$@"
  sample=$(tail -n 1 "$work/rss")
}

# ---------------------------------------------------------------------------
# The programs measured. Each takes the runner, runs once and checks that the
# run did its job (outside the measured time).
serial=0

same_artifacts() {
  local dir=$1 name
  for name in "${artifacts[@]}"; do
    cmp -s "$dir/$name" "$payload/$name" || die "$dir/$name is not the packed file"
  done
}

prog_floor() { "$1" "$noop"; }

prog_ours() {
  local n=$((++serial))
  "$1" "$installer" --install-dir "C:\\zur-bench\\ours-$n"
  grep -q '^{"ok":true,' "$out" || die "our installer printed: $(cat "$out")"
  same_artifacts "$scratch/ours-$n"
  [ -f "$scratch/ours-$n/install-receipt.json" ] || die "our installer wrote no receipt"
}

prog_nsis() {
  local n=$((++serial))
  "$1" "$nsis" /S "/D=C:\\zur-bench\\nsis-$n"
  same_artifacts "$scratch/nsis-$n"
}

prog_report() {
  "$1" "$host_c" --smoke-test
  grep -q '"gatewayReachable":true}$' "$out" || die "the host reported: $(cat "$out")"
}

# Waits for the stand-in browser's record, so it has ended before the next
# run and we know the host did start it.
await_browser() {
  local record=$1 i
  for ((i = 0; i < 500; i++)); do
    if grep -q -- '--app=http://127.0.0.1:4300/' "$record" 2>/dev/null; then return 0; fi
    sleep 0.01
  done
  die "the host started no browser"
}

prog_launch() {
  local n=$((++serial))
  ZUR_TEST_RECORD="C:\\zur-bench\\browser-$n.jsonl" "$1" "$host_c"
  await_browser "$scratch/browser-$n.jsonl"
}

port_taken() { (exec 3<>/dev/tcp/127.0.0.1/4300) 2>/dev/null; }

# Starts the stand-in gateway: at once, or at the moment given (µs).
start_listener() {
  local log=$1 at=${2:-}
  rm -f "$log"
  node "$bench/listener.mjs" "$log" $at </dev/null >/dev/null 2>"$work/listener.err" &
  listener_pid=$!
}

stop_listener() {
  kill "$listener_pid" 2>/dev/null || true
  wait "$listener_pid" 2>/dev/null || true
  listener_pid=
}

# ---------------------------------------------------------------------------
# Statistics over samples in µs; the figures come out in ms.
sorted() { printf '%s\n' "$@" | sort -n; }
# min median p90 max (p90: nearest rank)
stats_ms() {
  sorted "$@" | awk '{ v[NR] = $1 } END {
    n = NR; median = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    printf "%.1f %.1f %.1f %.1f\n", v[1] / 1000, median / 1000, v[int((9 * n + 9) / 10)] / 1000, v[n] / 1000 }'
}
median() { sorted "$@" | awk '{ v[NR] = $1 } END { n = NR; printf "%.0f\n", n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# ---------------------------------------------------------------------------
# Wall times and peak memory, with the gateway up.
port_taken && die "127.0.0.1:4300 is already taken; the bench needs it free"
start_listener "$work/listener.log"
for ((i = 0; i < 500; i++)); do
  [ -s "$work/listener.log" ] && break
  sleep 0.01
done
[ -s "$work/listener.log" ] || die "the stand-in gateway did not start: $(cat "$work/listener.err")"

programs=(floor ours nsis report launch)
declare -A times rss
echo "bench: warming up" >&2
for p in "${programs[@]}"; do "prog_$p" timed_wine; done

echo "bench: $runs rounds of ${programs[*]}" >&2
printf 'round\tprogram\tus\n' >"$work/times.tsv"
for ((r = 0; r < runs; r++)); do
  # Each round starts with the next program, so none always follows another.
  for ((i = 0; i < ${#programs[@]}; i++)); do
    p=${programs[(i + r) % ${#programs[@]}]}
    "prog_$p" timed_wine
    times[$p]+="$sample "
    printf '%s\t%s\t%s\n' "$r" "$p" "$sample" >>"$work/times.tsv"
  done
done

echo "bench: peak memory, $rss_runs runs each" >&2
for ((r = 0; r < rss_runs; r++)); do
  for p in "${programs[@]}"; do
    "prog_$p" rss_wine
    rss[$p]+="$sample "
  done
done
stop_listener

# ---------------------------------------------------------------------------
# The gateway wait: the host is in its wait cycles (a script exists, no node
# starts) when the gateway begins to listen, 0.3 to 2.5 s after the host
# started. From that moment: to the host's probe being accepted, and to the
# host's exit (which includes starting the browser and ending).
echo "bench: $runs gateway waits" >&2
seen=() exits=() delays=()
printf 'delay_us\tseen_us\texit_us\n' >"$work/gateway.tsv"
for ((r = 0; r < runs; r++)); do
  for ((i = 0; i < 500; i++)); do
    port_taken || break
    sleep 0.01
  done
  port_taken && die "127.0.0.1:4300 is still taken"
  log=$work/gateway-$r.log
  n=$((++serial))
  start_listener "$log" $(($(now_us) + (300 + RANDOM % 2201) * 1000))
  ZUR_TEST_RECORD="C:\\zur-bench\\browser-$n.jsonl" timed_wine "$host_c"
  await_browser "$scratch/browser-$n.jsonl"
  stop_listener
  listening=$(awk '$1 == "listening" { print $2 }' "$log")
  accepted=$(awk '$1 == "accepted" { print $2 }' "$log")
  [ -n "$listening" ] || die "the stand-in gateway did not start: $(cat "$work/listener.err")"
  [ -n "$accepted" ] || die "the host ended without probing the gateway"
  [ "$listening" -gt "$started_us" ] || die "the gateway started before the host"
  delays+=($((listening - started_us)))
  seen+=($((accepted - listening)))
  exits+=($((ended_us - listening)))
  printf '%s\t%s\t%s\n' "${delays[-1]}" "${seen[-1]}" "${exits[-1]}" >>"$work/gateway.tsv"
done

# ---------------------------------------------------------------------------
# The table.
floor_us=$(median ${times[floor]})
floor_kib=$(median ${rss[floor]})
browser_us=$(($(median ${times[launch]}) - $(median ${times[report]})))
net_exits=()
for e in "${exits[@]}"; do net_exits+=($((e - browser_us))); done

row_stats() {
  local label=$1 min med p90 max
  shift
  read -r min med p90 max < <(stats_ms "$@")
  echo "| $label | $min | $med | $p90 | $max |"
}

label_floor="no-op console program (floor)"
label_ours="our installer, into a new folder"
label_nsis="NSIS installer, /S into a new folder"
label_report="host, --smoke-test, gateway up"
label_launch="host, launch mode, gateway up, browser present"

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
ram=$(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
os=$(. /etc/os-release && echo "$PRETTY_NAME")
elapsed_s=$((($(now_us) - ZUR_BENCH_STARTED_US) / 1000000))

{
  echo "# Benchmark results"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Machine: $cpu, $(nproc) cores, $ram RAM, $os, kernel $(uname -r) ($(uname -m))"
  echo "- Wine: $(wine --version 2>/dev/null); compiler: $(x86_64-w64-mingw32-g++-posix --version | head -n 1)"
  echo "- NSIS: makensis $(makensis -VERSION); node $(node --version); network: $network"
  echo "- Runs: $runs timed runs of each program (rounds, each program once per round), $rss_runs for memory, $runs gateway waits"
  echo "- The whole bench took $elapsed_s s$([ $build = no ] || echo ", build included")"
  echo
  echo "## Size (bytes)"
  echo
  echo "| | ours | NSIS (LZMA, solid) |"
  echo "|---|---:|---:|"
  echo "| installer | $installer_bytes | $nsis_bytes |"
  echo "| the four files it carries (host + icon + tauri.conf.json + 57-byte launcher) | $payload_bytes | $payload_bytes |"
  echo "| overhead (installer minus the four files) | $((installer_bytes - payload_bytes)) | $((nsis_bytes - payload_bytes)) |"
  echo "| desktop host | $host_bytes | |"
  echo
  echo "## Wall time and peak memory under Wine"
  echo
  echo "Wall time: from the start to the end of the \`wine\` command, with a warm"
  echo "wineserver and a desktop session held open in the prefix (tests/helpers/session.cc)."
  echo "Peak memory: \`/usr/bin/time -f %M\` around \`wine\`, so Wine's figure: the"
  echo "Windows program together with the Wine loader and libraries (median of $rss_runs)."
  echo
  echo "| program | median ms | min ms | p90 ms | max ms | × floor | peak RSS KiB | × floor |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|"
  for p in "${programs[@]}"; do
    label=label_$p
    read -r min med p90 max < <(stats_ms ${times[$p]})
    kib=$(median ${rss[$p]})
    echo "| ${!label} | $med | $min | $p90 | $max | $(ratio "$(median ${times[$p]})" "$floor_us") | $kib | $(ratio "$kib" "$floor_kib") |"
  done
  echo
  echo "## Gateway wait"
  echo
  echo "The host in launch mode, a gateway script present and no node to start,"
  echo "so it probes every 180 ms; the gateway starts listening at a random moment"
  echo "(here $(stats_ms "${delays[@]}" | awk '{ print $1 " to " $4 }') ms) after the host started."
  echo "Browser start: median launch mode minus median --smoke-test above, $(awk -v b="$browser_us" 'BEGIN { printf "%.1f", b / 1000 }') ms."
  echo
  echo "| from the gateway listening to | min ms | median ms | p90 ms | max ms |"
  echo "|---|---:|---:|---:|---:|"
  row_stats "the host's probe being accepted" "${seen[@]}"
  row_stats "the host's exit" "${exits[@]}"
  row_stats "the host's exit, minus the browser start" "${net_exits[@]}"
} >"$bench/RESULTS.md"

cat "$bench/RESULTS.md"
