#!/usr/bin/env bash
# Configures the Windows programs in a build folder whose path holds quotes,
# a command substitution and a blank, then sources its product.env as the
# scripts do: nothing may run, and the values must be the paths as they are.
# Usage: product-env.sh SOURCE_DIR NATIVE_BINARY_DIR
set -euo pipefail
source_dir=$1
native_dir=$2
# The installer's name as the tests' oracle spells it.
installer_name=$(sed -n "s/^export const INSTALLER_NAME = '\(.*\)';\$/\1/p" "$source_dir/tests/lib/expected.mjs")
[ -n "$installer_name" ] || { echo "no INSTALLER_NAME in tests/lib/expected.mjs" >&2; exit 1; }

work=$(mktemp -d /tmp/zur-env-XXXXXX)
trap 'rm -rf "$work"' EXIT
build="$work/x'\$(touch PWNED)'y \$HOME \`touch PWNED\` z"
(cd "$source_dir" && cmake --preset win64 -B "$build" -DZUR_NATIVE_BINARY_DIR="$native_dir" >"$work/configure.log") ||
  { cat "$work/configure.log" >&2; exit 1; }

values=$(cd "$work" && bash -c '. "$1/product.env" && printf "%s\n" "$ZUR_HOST_EXE" "$ZUR_INSTALLER_EXE" "$ZUR_HOST_NAME"' \
  _ "$build")
expected="$build/desktop-tauri/native-win64/ZUR-Vedozaruz-Desktop.exe
$build/desktop-tauri/native-win64/$installer_name
ZUR-Vedozaruz-Desktop.exe"
status=0
[ ! -e "$work/PWNED" ] || { echo "sourcing product.env ran a command of the build folder's path" >&2; status=1; }
[ "$values" = "$expected" ] || { printf 'product.env gives\n%s\nnot\n%s\n' "$values" "$expected" >&2; status=1; }
exit $status
