#!/usr/bin/env bash
# Builds both programs twice more, from copies of the source tree in two
# folders of different depth, and fails unless all three builds (those two
# and the one under test) are byte-for-byte the same.
# Usage: reproducible.sh SOURCE_DIR NATIVE_BINARY_DIR HOST_EXE INSTALLER_EXE
set -euo pipefail
source_dir=$1
native_dir=$2
shift 2
built=("$@")

work=$(mktemp -d /tmp/zur-repro-XXXXXX)
trap 'rm -rf "$work"' EXIT
copies=("$work/a/src" "$work/bb/deeper/source-tree")

# Copies the tree as it stands, without build outputs, to $1 and builds it with
# the configuration of the build under test (the win64 preset) and its native tools.
build() {
  mkdir -p "$1"
  (cd "$source_dir" && git ls-files -co --exclude-standard -z | tar --null -T - -cf -) | tar -C "$1" -xf -
  (cd "$1" && cmake --preset win64 -DZUR_NATIVE_BINARY_DIR="$native_dir" >/dev/null &&
    cmake --build --preset win64 --target zur_setup_installer >/dev/null)
}
pids=()
for copy in "${copies[@]}"; do
  build "$copy" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || { echo "a build of a copy failed" >&2; exit 1; }; done

status=0
for exe in "${built[@]}"; do
  name=$(basename "$exe")
  expected=$(sha256sum <"$exe" | cut -d' ' -f1)
  for copy in "${copies[@]}"; do
    actual=$(sha256sum <"$copy/build/win64/desktop-tauri/native-win64/$name" | cut -d' ' -f1)
    [ "$actual" = "$expected" ] || { echo "$name differs when built in $copy: $actual, not $expected" >&2; status=1; }
  done
  echo "$name: $expected"
done
exit $status
