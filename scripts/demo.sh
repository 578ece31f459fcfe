#!/usr/bin/env bash
# Shows the built installer working under Wine: the bundle report, then an
# installation into a temporary folder and what it left there.
set -euo pipefail
cd "$(dirname "$0")/.."

. build/win64/product.env
installer=dist/$ZUR_INSTALLER_NAME
export WINEPREFIX="$PWD/build/wine-demo" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  echo "Making a Wine prefix for the demo in build/wine-demo ..."
  mkdir -p "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
fi

target=$(mktemp -d /tmp/zur-demo-XXXXXX)
trap 'rm -rf "$target"' EXIT
run() { wine "$@" </dev/null 2>&1 | cat; }

echo
echo "\$ wine $installer --verify-bundle"
run "$installer" --verify-bundle
echo
echo "\$ wine $installer --install-dir 'Z:${target//\//\\}\\ZUR-Vedozaruz'"
run "$installer" --install-dir "Z:${target//\//\\}\\ZUR-Vedozaruz"
echo
ls -l "$target/ZUR-Vedozaruz"
echo
echo "\$ wine $target/ZUR-Vedozaruz/ZUR-Vedozaruz-Desktop.exe --version"
run "$target/ZUR-Vedozaruz/ZUR-Vedozaruz-Desktop.exe" --version
echo
(cd dist && cat SHA256SUMS)
wineserver -k >/dev/null 2>&1 || true
