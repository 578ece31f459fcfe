#!/usr/bin/env bash
# Configures and builds the native tools and the Windows programs, then puts
# the programs and their SHA-256 sums into dist/.
#
# With ZUR_SIGN_PFX naming a PKCS#12 code-signing certificate (password in
# ZUR_SIGN_PASSWORD, optional timestamp server in ZUR_SIGN_TIMESTAMP_URL),
# both programs are signed: the host before the installer embeds it, then
# the installer. Without it the programs are unsigned.
#
# Beside them it writes the Scoop manifest of the release (its address from
# ZUR_RELEASE_URL, ZUR_HOMEPAGE and ZUR_LICENSE when set, else the build
# tree's settings).
set -euo pipefail
# The password goes to the signing commands alone, never to the other
# commands this script starts: sign.sh --check gets it in its environment;
# the win64 build, whose ninja and compilers must not see it, runs sign.sh
# with a descriptor of a deleted file that holds it (ZUR_SIGN_PASSWORD_FD).
export -n ZUR_SIGN_PASSWORD
with_password() { (export ZUR_SIGN_PASSWORD && exec "$@"); }
sign_pfx=${ZUR_SIGN_PFX:-}
[ -z "$sign_pfx" ] || sign_pfx=$(realpath -m -- "$sign_pfx")
cd "$(dirname "$0")/.."

# dist/ holds the programs of the last build that succeeded, or nothing.
rm -f dist/*.exe dist/SHA256SUMS dist/*.json
[ -z "$sign_pfx" ] || with_password ./scripts/sign.sh --check "$sign_pfx"

cmake --preset native >/dev/null
cmake --build --preset native
release=()
for name in ZUR_RELEASE_URL ZUR_HOMEPAGE ZUR_LICENSE; do
  [ -z "${!name:-}" ] || release+=("-D$name=${!name}")
done
cmake --preset win64 -DZUR_SIGN_PFX="$sign_pfx" -DZUR_SIGN_TIMESTAMP_URL="${ZUR_SIGN_TIMESTAMP_URL:-}" "${release[@]}" >/dev/null
if [ -n "$sign_pfx" ] && [ -n "${ZUR_SIGN_PASSWORD:+set}" ]; then
  password_file=$(mktemp)
  with_password printenv ZUR_SIGN_PASSWORD >"$password_file"
  exec {password_fd}<"$password_file"
  rm -f "$password_file"
  (export ZUR_SIGN_PASSWORD_FD=$password_fd && exec cmake --build --preset win64)
  exec {password_fd}<&-
else
  cmake --build --preset win64
fi

# The names and paths of what was built.
. build/win64/product.env
mkdir -p dist
for exe in "$ZUR_INSTALLER_EXE" "$ZUR_HOST_EXE"; do
  name=$(basename "$exe")
  cp "$exe" "dist/.$name.tmp"
  mv -f "dist/.$name.tmp" "dist/$name"
done
(cd dist && sha256sum "$ZUR_INSTALLER_NAME" "$ZUR_HOST_NAME" > SHA256SUMS)
manifest="dist/${ZUR_PRODUCT_NAME,,}.json"
(set -a && . build/win64/product.env &&
  exec node scripts/scoop-manifest.mjs desktop-tauri/tauri.conf.json "dist/$ZUR_INSTALLER_NAME" "$manifest")
