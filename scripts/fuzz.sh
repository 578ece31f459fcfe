#!/usr/bin/env bash
# Runs the fuzz targets longer than the test suite does:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target (default 600); TARGET among command_line, utf,
# json_outputs, paths, pe_image (default all), as many at once as there are
# cores. What a target finds is left in
# build/sanitize/desktop-tauri/native-win64/fuzz/TARGET/findings/; once the
# fault is fixed, copy the input into desktop-tauri/native-win64/fuzz/corpus/TARGET/
# and commit it, so that every later run replays it first.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(command_line utf json_outputs paths pe_image)

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize

fuzz=desktop-tauri/native-win64/fuzz
bin=build/sanitize/$fuzz
export seconds fuzz bin
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} sh -c \
  '"$fuzz/run-fuzzer.sh" "$bin/zur_fuzz_{}" "$seconds" "$bin/{}" "$fuzz/corpus/{}" > "$bin/{}.log" 2>&1 \
     && echo "{}: nothing found ($(grep -o "number_of_executed_units: [0-9]*" "$bin/{}.log"))" \
     || { echo "{}: FINDING, see $bin/{}.log and $bin/{}/findings/"; exit 1; }'
