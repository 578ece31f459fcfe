#!/usr/bin/env bash
# Proves or refutes that a published release is exactly these sources.
#
#   verify-release.sh DIR
#
# DIR holds the published installer (and SHA256SUMS, and the host, when they
# were published too). From this checkout the programs are built again,
# unsigned, in build/release-check (or the win64 build folder
# ZUR_RELEASE_CHECK_DIR, which is left configured unsigned). The host that
# the installer carries must equal the rebuilt host, and the installer must
# equal a rebuild of the installer around the host it carries, each in all
# that an Authenticode signature covers: the whole file but its checksum
# field, its certificate table entry and the table itself. The table of
# each program may hold one signature and nothing else (zur_pecheck
# --signature). So an unsigned, a signed and a timestamped release check
# alike, with no certificate, key or network; whether the signature is
# valid, and whose it is, is osslsigncode verify's question.
#
# Prints what it compared, one line each, and its verdict; exits 1 on any
# difference, 2 (with one line, "verify-release: ...") when it cannot check.
set -euo pipefail

cannot() {
  echo "verify-release: $*" >&2
  exit 2
}
[ $# -eq 1 ] && [ -d "$1" ] || cannot "usage: verify-release.sh DIR (a folder holding the published installer)"
release=$(realpath -- "$1")
cd "$(dirname "$0")/.."
tree=${ZUR_RELEASE_CHECK_DIR:-build/release-check}
pecheck=build/native/desktop-tauri/native-win64/tools/pecheck/zur_pecheck
differences=0

same() {
  echo "same       $*"
}
different() {
  echo "DIFFERENT  $*"
  differences=$((differences + 1))
}

# Runs zur_pecheck with ARGS; its verdict in $verdict, its status in
# $verdict_status (0 or 1). A file it cannot read ends the check.
pe() {
  verdict_status=0
  verdict=$("$pecheck" "$@" 2>&1) || verdict_status=$?
  [ "$verdict_status" -le 1 ] || cannot "$verdict"
}

# The signature line of the image FILE, called NAME; sets $signature.
signature_of() {
  pe --signature "$1"
  signature=$verdict
  if [ "$verdict_status" -eq 0 ]; then echo "signature  $2: $verdict"; else different "$2 $verdict" && signature="refused above"; fi
}

# Whether the image FILE equals REBUILT in what a signature covers; TEXT
# says what they are.
compare_images() {
  pe --compare "$1" "$2"
  if [ "$verdict_status" -eq 0 ]; then same "$3"; else different "$3: it $verdict"; fi
}

build() {
  cmake --build "$tree" --target "$1" >"$tree.log" 2>&1 || cannot "the rebuild failed: see $tree.log"
}

cmake --preset native >/dev/null && cmake --build --preset native >/dev/null ||
  cannot "the native tools do not build (./scripts/ensure-deps.sh build)"
mkdir -p "$tree"
cmake --preset win64 -B "$tree" -DZUR_SIGN_PFX= -DZUR_SIGN_PKCS11_MODULE= -DZUR_SIGN_KEY= -DZUR_SIGN_CERT= \
  -DZUR_SIGN_TIMESTAMP_URL= -DZUR_CARRIED_HOST= >"$tree.log" 2>&1 || cannot "cannot configure $tree: see $tree.log"
. "$tree/product.env"
host_name=$ZUR_HOST_NAME installer_name=$ZUR_INSTALLER_NAME
installer=$release/$installer_name
[ -f "$installer" ] || cannot "no $installer_name in $release"
echo "release    $release"

if [ -f "$release/SHA256SUMS" ]; then
  # It must list the installer; a file it lists that was not published is
  # not a difference.
  if awk -v name="$installer_name" '$2 == name || $2 == "*" name { found = 1 } END { exit !found }' "$release/SHA256SUMS" &&
    (cd "$release" && sha256sum --quiet --strict --ignore-missing -c SHA256SUMS >/dev/null 2>&1); then
    same "SHA256SUMS and the files it lists"
  else
    different "SHA256SUMS and the files it lists"
  fi
fi

# The installer first: a file that is no PE image ends the check before
# anything is built.
signature_of "$installer" "$installer_name"
installer_signature=$signature

build zur_desktop_host
rebuilt_host=$tree/desktop-tauri/native-win64/$host_name
carried=$tree/carried/$host_name
mkdir -p "$tree/carried"
rm -f "$carried"
pe --carried-host "$installer" "$carried"
if [ "$verdict_status" -eq 0 ]; then
  read -r offset length <<<"$verdict"
  signature_of "$carried" "$host_name carried by the installer"
  compare_images "$carried" "$rebuilt_host" \
    "$host_name carried by the installer ($signature, $length bytes at $offset) and the rebuilt host"
else
  # Without the host there is nothing to build the installer around but the
  # rebuilt one.
  cp "$rebuilt_host" "$carried"
  different "$installer_name carries no host built from these sources: it $verdict"
fi
if [ -f "$release/$host_name" ]; then
  if cmp -s "$release/$host_name" "$carried"; then
    same "$host_name published beside the installer and the host it carries"
  else
    different "$host_name published beside the installer and the host it carries"
  fi
fi

cmake "$tree" -DZUR_CARRIED_HOST="$(realpath "$carried")" >"$tree.log" 2>&1 || cannot "cannot configure $tree: see $tree.log"
if cmake --build "$tree" --target zur_setup_installer >"$tree.log" 2>&1; then
  compare_images "$installer" "$tree/desktop-tauri/native-win64/$installer_name" \
    "$installer_name ($installer_signature) and the installer rebuilt around the host it carries"
elif [ "$differences" -ne 0 ]; then
  # The build refuses a host that is not fit to ship.
  different "$installer_name: no installer can be built around the host it carries (see $tree.log)"
else
  cannot "the rebuild failed: see $tree.log"
fi

if [ "$differences" -eq 0 ]; then
  echo "verdict    the release is these sources"
else
  echo "verdict    the release is NOT these sources ($differences difference(s))"
  exit 1
fi
