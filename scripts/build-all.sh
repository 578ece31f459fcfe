#!/usr/bin/env bash
# Configures and builds the native tools, the Windows programs and the
# sanitize tree (unit tests and fuzz targets under clang's sanitizers), then
# puts the programs and their SHA-256 sums into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset win64 >/dev/null
cmake --build --preset win64
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize

mkdir -p dist
host=build/win64/desktop-tauri/native-win64/ZUR-Vedozaruz-Desktop.exe
installer=build/win64/desktop-tauri/native-win64/ZUR-Vedozaruz-Setup-3.4.0-x64.exe
cp "$host" "$installer" dist/
(cd dist && sha256sum ZUR-Vedozaruz-Setup-3.4.0-x64.exe ZUR-Vedozaruz-Desktop.exe > SHA256SUMS)
