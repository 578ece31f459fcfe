#!/usr/bin/env bash
# Authenticode signatures (SHA-256) with osslsigncode.
#
#   sign.sh --check PFX                     checks that PFX can sign code; signs nothing
#   sign.sh PFX FILE TIME [TIMESTAMP_URL]   signs FILE in place
#
# PFX is a PKCS#12 file holding the code-signing certificate and its key; its
# password comes from ZUR_SIGN_PASSWORD (unset or empty: none), or from the
# descriptor ZUR_SIGN_PASSWORD_FD (as build-all.sh hands it over), so it never
# shows on a command line or in the build tree. It reaches openssl and
# osslsigncode only, and neither it nor the key ever stands in a command or
# an assignment that a trace (bash -x) would show: the key is only piped. TIME (seconds since 1970) is
# the signing time written into the signature, which makes the signature, and
# so the signed file, the same on every build. TIMESTAMP_URL adds an RFC 3161
# timestamp from that server (the bytes then differ from build to build).
#
# Every failure is one line on standard error and leaves FILE as it was:
# the signed copy is written beside it and renamed over it only when whole.
set -euo pipefail

fail() {
  echo "sign: $*" >&2
  exit 1
}

# Unset means none. A build hands it over as ZUR_SIGN_PASSWORD_FD instead,
# a descriptor to read its first line from. Kept from the other commands'
# environment.
if [ -n "${ZUR_SIGN_PASSWORD_FD:-}" ]; then
  IFS= read -r ZUR_SIGN_PASSWORD </dev/fd/"$ZUR_SIGN_PASSWORD_FD" || [ -n "${ZUR_SIGN_PASSWORD:-}" ] ||
    fail "cannot read the signing password from descriptor $ZUR_SIGN_PASSWORD_FD"
fi
[ -n "${ZUR_SIGN_PASSWORD+set}" ] || ZUR_SIGN_PASSWORD=
export -n ZUR_SIGN_PASSWORD

# The certificates (or with -nocerts the key) that PFX holds, as PEM.
pkcs12() {
  local pfx=$1
  shift
  # PKCS#12 files exported by older tools use ciphers that OpenSSL 3 keeps in
  # its legacy provider.
  (
    export ZUR_SIGN_PASSWORD
    openssl pkcs12 -in "$pfx" -passin env:ZUR_SIGN_PASSWORD "$@" 2>/dev/null ||
      exec openssl pkcs12 -legacy -in "$pfx" -passin env:ZUR_SIGN_PASSWORD "$@" 2>/dev/null
  )
}

check() {
  local pfx=$1
  [ -f "$pfx" ] && [ -r "$pfx" ] || fail "cannot read the certificate file $pfx (ZUR_SIGN_PFX)"
  command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"
  local certificate
  certificate=$(pkcs12 "$pfx" -nokeys -clcerts) ||
    fail "cannot open $pfx: wrong ZUR_SIGN_PASSWORD, or not a PKCS#12 file"
  # The decrypted key goes down a pipe and nowhere else. grep reads all of
  # it (no -q), so openssl never ends on a closed pipe.
  pkcs12 "$pfx" -nocerts -nodes >/dev/null || fail "cannot read the private key in $pfx"
  pkcs12 "$pfx" -nocerts -nodes | grep -e 'PRIVATE KEY-----' >/dev/null || fail "$pfx holds no private key"
  [[ $certificate == *"-----BEGIN CERTIFICATE-----"* ]] || fail "$pfx holds no certificate for its key"
  # The signer's own certificate comes first.
  local usage
  usage=$(openssl x509 -noout -ext extendedKeyUsage <<<"$certificate" 2>/dev/null || true)
  [[ $usage == *"Code Signing"* ]] ||
    fail "the certificate in $pfx cannot sign code: its extended key usage lacks codeSigning"
}

if [ "${1:-}" = --check ]; then
  [ $# -eq 2 ] || fail "usage: sign.sh --check PFX"
  check "$2"
  exit 0
fi

[ $# -eq 3 ] || [ $# -eq 4 ] || fail "usage: sign.sh PFX FILE TIME [TIMESTAMP_URL]"
pfx=$1 file=$2 time=$3 timestamp_url=${4:-}
[[ $time =~ ^[0-9]+$ ]] || fail "signing time '$time' is not a number of seconds"
check "$pfx"

signed=$file.signing
log=$file.signing.log
trap 'rm -f "$signed" "$log"' EXIT
rm -f "$signed"
options=(sign -pkcs12 "$pfx" -h sha256 -time "$time" -in "$file" -out "$signed")
[ -z "$timestamp_url" ] || options+=(-ts "$timestamp_url")
if [ -n "${ZUR_SIGN_PASSWORD:+set}" ]; then
  # -readpass takes the first line of the file: here, standard input.
  osslsigncode "${options[@]}" -readpass /dev/stdin <<<"$ZUR_SIGN_PASSWORD" >"$log" 2>&1 || status=$?
else
  osslsigncode "${options[@]}" >"$log" 2>&1 || status=$?
fi
if [ "${status:-0}" -ne 0 ] || [ ! -s "$signed" ]; then
  fail "signing $(basename "$file") failed: $(grep -v -e '^Succeeded$' -e '^\s*$' "$log" | head -n 1)"
fi
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
