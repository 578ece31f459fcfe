#!/usr/bin/env bash
# Proves or refutes that a published release is exactly these sources.
#
#   verify-release.sh DIR
#
# DIR holds the published installer (and SHA256SUMS, and the host, when they
# were published too). From this checkout the programs are built again,
# unsigned, in build/release-check (or the win64 build folder
# ZUR_RELEASE_CHECK_DIR, which is left configured unsigned): the host that the installer carries must
# equal the rebuilt host, and the installer must equal a rebuild of the
# installer around the host it carries, each in all that an Authenticode
# signature covers: the whole file but its checksum field, its certificate
# table entry and the table itself. So an unsigned, a signed and a
# timestamped release check alike, with no certificate, key or network.
#
# Prints what it compared, one line each, and its verdict; exits 1 on any
# difference, 2 when it cannot check.
set -euo pipefail

cannot() {
  echo "verify-release: $*" >&2
  exit 2
}
[ $# -eq 1 ] && [ -d "$1" ] || cannot "usage: verify-release.sh DIR (a folder holding the published installer)"
release=$(realpath -- "$1")
cd "$(dirname "$0")/.."
tree=${ZUR_RELEASE_CHECK_DIR:-build/release-check}
differences=0

same() {
  echo "same       $*"
}
different() {
  echo "DIFFERENT  $*"
  differences=$((differences + 1))
}
# Files A and B, byte for byte; TEXT says what they are.
compare() { if cmp -s "$1" "$2"; then same "$3"; else different "$3"; fi; }

# Little-endian numbers of FILE at OFFSET.
u16() { od -An -t u2 -j "$2" -N 2 "$1" | tr -d ' '; }
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }

# COUNT bytes of FILE from OFFSET.
bytes() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" bs=64K status=none; }

# The place of the checksum field and of the certificate table's entry in
# the PE32+ image FILE (offsets from its start).
checksum_at() { echo $(($(u32 "$1" 60) + 24 + 64)); }
table_entry_at() { echo $(($(u32 "$1" 60) + 24 + 144)); }

# Writes to OUT what an Authenticode signature of the image FILE covers.
covered() {
  local file=$1 out=$2
  local checksum entry table end
  checksum=$(checksum_at "$file")
  entry=$(table_entry_at "$file")
  table=$(u32 "$file" "$entry")
  end=$(stat -c %s "$file")
  [ "$table" -eq 0 ] || end=$table
  [ $((entry + 8)) -le "$end" ] || cannot "$file is not a PE32+ image"
  {
    bytes "$file" 0 "$checksum"
    bytes "$file" $((checksum + 4)) $((entry - checksum - 4))
    bytes "$file" $((entry + 8)) $((end - entry - 8))
  } >"$out"
}

# "signed" or "unsigned": whether the image FILE has a certificate table.
signature_of() {
  if [ "$(u32 "$1" $(($(table_entry_at "$1") + 4)))" -eq 0 ]; then echo unsigned; else echo signed; fi
}

# The length of the image that starts at OFFSET of FILE: up to the end of its
# certificate table, or of its last section when it has none.
image_length() {
  local file=$1 at=$2
  local pe=$((at + $(u32 "$file" $((at + 60)))))
  [ "$(bytes "$file" "$pe" 4 | od -An -t x1 | tr -d ' ')" = 50450000 ] || return 1
  local entry=$((pe + 24 + 144))
  local table size
  table=$(u32 "$file" "$entry") size=$(u32 "$file" $((entry + 4)))
  if [ "$table" -ne 0 ]; then
    echo $((table + size))
    return
  fi
  local sections=$(u16 "$file" $((pe + 6))) header=$(u16 "$file" $((pe + 20)))
  local first=$((pe + 24 + header)) i end=0 raw
  for ((i = 0; i < sections; i++)); do
    raw=$(($(u32 "$file" $((first + 40 * i + 20))) + $(u32 "$file" $((first + 40 * i + 16)))))
    [ "$raw" -le "$end" ] || end=$raw
  done
  echo "$end"
}

build() {
  cmake --build "$tree" --target "$1" >"$tree.log" 2>&1 || cannot "the rebuild failed: see $tree.log"
}

# These sources, unsigned, in a tree of their own.
cmake --preset native >/dev/null && cmake --build --preset native >/dev/null ||
  cannot "the native tools do not build (./scripts/ensure-deps.sh build)"
mkdir -p "$tree"
cmake --preset win64 -B "$tree" -DZUR_SIGN_PFX= -DZUR_SIGN_PKCS11_MODULE= -DZUR_SIGN_KEY= -DZUR_SIGN_CERT= \
  -DZUR_SIGN_TIMESTAMP_URL= -DZUR_CARRIED_HOST= >"$tree.log" 2>&1 || cannot "cannot configure $tree: see $tree.log"
build zur_desktop_host
. "$tree/product.env"
host_name=$ZUR_HOST_NAME installer_name=$ZUR_INSTALLER_NAME
rebuilt_host=$tree/desktop-tauri/native-win64/$host_name
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

# The carried host begins where the rebuilt host's headers, up to its
# checksum field, stand in the installer after the installer's own.
# (grep matches within lines; in hex, the image is one line).
hex() { od -An -v -t x1 "$@" | tr -d ' \n'; }
pattern=$(bytes "$rebuilt_host" 0 "$(checksum_at "$rebuilt_host")" | hex)
offset=$(hex "$installer" | grep -ob -e "$pattern" | cut -d: -f1 | awk '$1 > 0 && $1 % 2 == 0 { print $1 / 2; exit }')
carried=$tree/carried/$host_name
mkdir -p "$tree/carried"
if [ -n "$offset" ] && length=$(image_length "$installer" "$offset"); then
  bytes "$installer" "$offset" "$length" >"$carried"
  covered "$carried" "$tree/carried.covered"
  covered "$rebuilt_host" "$tree/host.covered"
  compare "$tree/carried.covered" "$tree/host.covered" \
    "$host_name carried by the installer ($(signature_of "$carried"), $length bytes) and the rebuilt host"
else
  # Without the host there is nothing to build the installer around.
  cp "$rebuilt_host" "$carried"
  different "$installer_name carries no host built from these sources"
fi
[ ! -f "$release/$host_name" ] ||
  compare "$release/$host_name" "$carried" "$host_name published beside the installer and the host it carries"

cmake "$tree" -DZUR_CARRIED_HOST="$(realpath "$carried")" >"$tree.log" 2>&1 || cannot "cannot configure $tree: see $tree.log"
build zur_setup_installer
covered "$installer" "$tree/installer.covered"
covered "$tree/desktop-tauri/native-win64/$installer_name" "$tree/rebuilt.covered"
compare "$tree/installer.covered" "$tree/rebuilt.covered" \
  "$installer_name ($(signature_of "$installer")) and the installer rebuilt around the host it carries"

if [ "$differences" -eq 0 ]; then
  echo "verdict    the release is these sources"
else
  echo "verdict    the release is NOT these sources ($differences difference(s))"
  exit 1
fi
