#!/usr/bin/env bash
# Configures and builds the native tools and the Windows programs, then puts
# the programs and their SHA-256 sums into dist/.
#
# Signed when a signer is named: ZUR_SIGN_PFX, a PKCS#12 code-signing
# certificate, or ZUR_SIGN_PKCS11_MODULE, ZUR_SIGN_KEY and ZUR_SIGN_CERT, a
# key in a token or an HSM (see scripts/sign.sh); the password or PIN in
# ZUR_SIGN_PASSWORD, an optional timestamp server in ZUR_SIGN_TIMESTAMP_URL.
# Both programs are signed: the host before the installer embeds it, then
# the installer. Without a signer the programs are unsigned.
#
# Beside them it writes the Scoop manifest of the release (its addresses
# and licence from ZUR_RELEASE_URL, ZUR_MANIFEST_URL, ZUR_HOMEPAGE,
# ZUR_LICENSE and ZUR_LICENSE_URL when set, else the build tree's settings).
set -euo pipefail
# The password goes to the signing commands alone, never to the other
# commands this script starts: sign.sh --check gets it in its environment;
# the win64 build, whose ninja and compilers must not see it, runs sign.sh
# with a descriptor of a deleted file that holds it (ZUR_SIGN_PASSWORD_FD).
. "$(dirname "$0")/signer.sh"
absolute_signer_paths
fail() {
  echo "sign: $*" >&2
  exit 1
}
sign_pfx=${ZUR_SIGN_PFX:-}
sign_module=${ZUR_SIGN_PKCS11_MODULE:-}
sign_key=${ZUR_SIGN_KEY:-}
sign_cert=${ZUR_SIGN_CERT:-}
signer=()
if [ -n "$sign_pfx" ] && [ -n "$sign_module" ]; then
  fail "name one signer: ZUR_SIGN_PFX or ZUR_SIGN_PKCS11_MODULE, not both"
elif [ -n "$sign_pfx" ]; then
  signer=("$sign_pfx")
elif [ -n "$sign_module" ]; then
  [ -n "$sign_key" ] && [ -n "$sign_cert" ] || fail "ZUR_SIGN_PKCS11_MODULE needs ZUR_SIGN_KEY and ZUR_SIGN_CERT"
  # The URIs stand in the build's commands: the PIN must not.
  [[ ";$sign_key;$sign_cert" != *[\;:?\&]pin-value=* && ";$sign_key;$sign_cert" != *[\;:?\&]pin-source=* ]] ||
    fail "ZUR_SIGN_KEY or ZUR_SIGN_CERT holds a PIN (pin-value, pin-source): give it in ZUR_SIGN_PASSWORD"
  signer=(--pkcs11 "$sign_module" "$sign_key" "$sign_cert")
fi
cd "$(dirname "$0")/.."

# dist/ holds the programs of the last build that succeeded, or nothing.
rm -f dist/*.exe dist/SHA256SUMS dist/*.json

# The native tools first: sign.sh --check signs an image that zur_pecheck
# makes.
cmake --preset native >/dev/null
cmake --build --preset native
[ ${#signer[@]} -eq 0 ] || with_password ./scripts/sign.sh --check "${signer[@]}" "${ZUR_SIGN_TIMESTAMP_URL:-}"
release=()
for name in ZUR_RELEASE_URL ZUR_MANIFEST_URL ZUR_HOMEPAGE ZUR_LICENSE ZUR_LICENSE_URL; do
  [ -z "${!name:-}" ] || release+=("-D$name=${!name}")
done
cmake --preset win64 -DZUR_SIGN_PFX="$sign_pfx" -DZUR_SIGN_PKCS11_MODULE="$sign_module" -DZUR_SIGN_KEY="$sign_key" \
  -DZUR_SIGN_CERT="$sign_cert" -DZUR_SIGN_TIMESTAMP_URL="${ZUR_SIGN_TIMESTAMP_URL:-}" -DZUR_CARRIED_HOST= \
  "${release[@]}" >/dev/null
if [ ${#signer[@]} -ne 0 ] && [ -n "${ZUR_SIGN_PASSWORD:+set}" ]; then
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
# The manifest first: a release address it refuses leaves dist/ empty.
manifest="dist/${ZUR_PRODUCT_NAME,,}.json"
(set -a && . build/win64/product.env &&
  exec node scripts/scoop-manifest.mjs desktop-tauri/tauri.conf.json "$ZUR_INSTALLER_EXE" "$manifest")
for exe in "$ZUR_INSTALLER_EXE" "$ZUR_HOST_EXE"; do
  name=$(basename "$exe")
  cp "$exe" "dist/.$name.tmp"
  mv -f "dist/.$name.tmp" "dist/$name"
done
(cd dist && sha256sum "$ZUR_INSTALLER_NAME" "$ZUR_HOST_NAME" > SHA256SUMS)
