#!/usr/bin/env bash
# Authenticode signatures (SHA-256) with osslsigncode.
#
#   sign.sh --check SIGNER [TIMESTAMP_URL]     checks that SIGNER can sign code; signs nothing
#   sign.sh SIGNER FILE TIME [TIMESTAMP_URL]   signs FILE in place
#
# SIGNER is either a PKCS#12 file holding the code-signing certificate and
# its key, or "--pkcs11 MODULE KEY CERT": a key in a token or an HSM, reached
# through the PKCS#11 library MODULE, named by the pkcs11: URI KEY, with its
# certificate CERT (a PEM file of the chain, signer first, or a pkcs11: URI).
# The password (of the PKCS#12 file, or the token's PIN) comes from
# ZUR_SIGN_PASSWORD (unset or empty: none), or from the descriptor
# ZUR_SIGN_PASSWORD_FD (as build-all.sh hands it over), so it never shows on
# a command line or in the build tree. It reaches openssl and osslsigncode
# only, and neither it nor the key ever stands in a command or an assignment
# that a trace (bash -x) would show: the key is only piped. TIME (seconds
# since 1970) is the signing time written into the signature, which makes the
# signature, and so the signed file, the same on every build. TIMESTAMP_URL
# adds an RFC 3161 timestamp from that server (the bytes then differ from
# build to build).
#
# A token locks its key after a few wrong PINs, so --check logs in once, by
# signing a throwaway image, and the build signs only after it passed.
#
# Every failure is one line on standard error and leaves FILE as it was:
# the signed copy is written beside it and renamed over it only when whole.
# --check signs an image that zur_pecheck makes: the native build's, or
# ZUR_PECHECK.
set -euo pipefail

said=
fail() {
  echo "sign: $*" >&2
  said=1
  exit 1
}
# Whatever ends the script, it ends with its one line, and leaves nothing
# of its own behind.
work= signed=
finish() {
  local status=$?
  rm -rf ${work:+"$work"} ${signed:+"$signed"}
  [ "$status" -eq 0 ] || [ -n "$said" ] || echo "sign: failed unexpectedly (status $status)" >&2
}
trap finish EXIT

# Unset means none. A build hands it over as ZUR_SIGN_PASSWORD_FD instead,
# a descriptor to read its first line from. Kept from the other commands'
# environment.
if [ -n "${ZUR_SIGN_PASSWORD_FD:-}" ]; then
  IFS= read -r ZUR_SIGN_PASSWORD </dev/fd/"$ZUR_SIGN_PASSWORD_FD" || [ -n "${ZUR_SIGN_PASSWORD:-}" ] ||
    fail "cannot read the signing password from descriptor $ZUR_SIGN_PASSWORD_FD"
fi
[ -n "${ZUR_SIGN_PASSWORD+set}" ] || ZUR_SIGN_PASSWORD=
# The password or PIN reaches only the command with_password gives it to.
. "$(dirname "$0")/signer.sh"

# The certificates (or with -nocerts the key) that PFX holds, as PEM.
pkcs12() {
  local pfx=$1
  shift
  # PKCS#12 files exported by older tools use ciphers that OpenSSL 3 keeps in
  # its legacy provider.
  with_password openssl pkcs12 -in "$pfx" -passin env:ZUR_SIGN_PASSWORD "$@" 2>/dev/null ||
    with_password openssl pkcs12 -legacy -in "$pfx" -passin env:ZUR_SIGN_PASSWORD "$@" 2>/dev/null
}

# The signer's own certificate comes first in $1 (PEM): it must allow code
# signing.
check_usage() {
  local usage
  usage=$(openssl x509 -noout -ext extendedKeyUsage <<<"$1" 2>/dev/null || true)
  [[ $usage == *"Code Signing"* ]] ||
    fail "the certificate in $2 cannot sign code: its extended key usage lacks codeSigning"
}

check_pfx() {
  local pfx=$1
  [ -f "$pfx" ] && [ -r "$pfx" ] || fail "cannot read the certificate file $pfx (ZUR_SIGN_PFX)"
  local certificate
  certificate=$(pkcs12 "$pfx" -nokeys -clcerts) ||
    fail "cannot open $pfx: wrong ZUR_SIGN_PASSWORD, or not a PKCS#12 file"
  # The decrypted key goes down a pipe and nowhere else. grep reads all of
  # it (no -q), so openssl never ends on a closed pipe.
  pkcs12 "$pfx" -nocerts -nodes >/dev/null || fail "cannot read the private key in $pfx"
  pkcs12 "$pfx" -nocerts -nodes | grep -e 'PRIVATE KEY-----' >/dev/null || fail "$pfx holds no private key"
  [[ $certificate == *"-----BEGIN CERTIFICATE-----"* ]] || fail "$pfx holds no certificate for its key"
  check_usage "$certificate" "$pfx"
}

# A PE32+ image of headers only (512 bytes, no sections): what --check signs
# to prove the key, the certificate and the PIN with one login.
throwaway_image() {
  local pecheck=${ZUR_PECHECK:-$(dirname "$0")/../build/native/desktop-tauri/native-win64/tools/pecheck/zur_pecheck}
  [ -x "$pecheck" ] || fail "no $pecheck to make the throwaway image with (build the native tools first)"
  "$pecheck" --headers-only-image "$1" 2>/dev/null || fail "$pecheck could not write the throwaway image $1"
}

# The first line of osslsigncode's log that says something.
first_message() { grep -v -e '^Succeeded$' -e '^Failed$' -e '^Engine .* set\.$' -e '^\s*$' "$log" | head -n 1; }

# The one line that tells why osslsigncode could not sign with the key in
# the token, from its log $1.
pkcs11_failure() {
  local log=$1
  if grep -q -i -e 'PIN locked' -e 'PIN_LOCKED' "$log"; then
    echo "the token's PIN is locked: unlock it with the token's own tools"
  elif grep -q -i -e 'PIN incorrect' -e 'PIN_INCORRECT' -e 'Login failed' "$log"; then
    echo "the token refused the PIN: wrong ZUR_SIGN_PASSWORD (tried once; a token locks after a few wrong PINs)"
  elif grep -q -e 'Unable to load module' -e 'Unable to load PKCS#11 module' "$log"; then
    echo "cannot load the PKCS#11 module $module (ZUR_SIGN_PKCS11_MODULE)"
  elif grep -q -e 'private key was not found' -e 'No matching initialized token' -e 'Failed to load private key' "$log"; then
    echo "no token holds a private key that matches ZUR_SIGN_KEY ($key)"
  elif grep -q -e 'certificate was not found' -e 'Failed to load certificate' "$log"; then
    echo "no certificate matches ZUR_SIGN_CERT ($cert)"
  elif grep -q -e 'key values mismatch' -e 'consistency of a private key' "$log"; then
    echo "the certificate $cert does not match the key $key"
  else
    echo "signing with $key failed: $(first_message)"
  fi
}

# The one line for a failed signing of FILE, from osslsigncode's log.
signing_failed() {
  if [ -n "$timestamp_url" ] && grep -q -i -e 'timestamping failed' -e 'HTTP failure' "$log"; then
    fail "the timestamp server $timestamp_url gave no timestamp"
  fi
  [ -n "${pfx+set}" ] || fail "$(pkcs11_failure "$log")"
  fail "signing $(basename "$1") failed: $(first_message)"
}

# osslsigncode verify exits 0 even when a timestamp is missing or broken:
# the signed file $1 must say that it is stamped.
stamped() {
  [ -n "$timestamp_url" ] || return 0
  osslsigncode verify -in "$1" >"$log" 2>&1 || true
  # 2.9 says "Timestamp time: T", 2.5 "The signature is timestamped: T".
  grep -q -e '^[[:space:]]*Timestamp time: ' -e '^The signature is timestamped: ' "$log" ||
    fail "the timestamp server $timestamp_url gave no timestamp"
}

# Signs (and stamps) a throwaway image into $work/check.signed.exe: one
# login, and the timestamp server tried, before anything is built.
try_signing() {
  throwaway_image "$work/check.exe"
  osslsigncode_sign "$work/check.exe" "$work/check.signed.exe" "$(date +%s)" "$timestamp_url" ||
    signing_failed "$work/check.exe"
  stamped "$work/check.signed.exe"
}

check_pkcs11() {
  [[ $key == pkcs11:* ]] || fail "ZUR_SIGN_KEY is not a pkcs11: URI: $key"
  [[ $cert == pkcs11:* ]] || [ -r "$cert" ] || fail "cannot read the certificate file $cert (ZUR_SIGN_CERT)"
  command -v pkcs11-tool >/dev/null || fail "pkcs11-tool is not installed (apt-get install opensc)"
  openssl engine pkcs11 >/dev/null 2>&1 ||
    fail "the OpenSSL PKCS#11 engine is not installed (apt-get install libengine-pkcs11-openssl)"
  [ -f "$module" ] && [ -r "$module" ] || fail "cannot read the PKCS#11 module $module (ZUR_SIGN_PKCS11_MODULE)"
  # Loads the module and asks for its tokens, without logging in.
  pkcs11-tool --module "$module" --list-slots >/dev/null 2>&1 ||
    fail "cannot load the PKCS#11 module $module (ZUR_SIGN_PKCS11_MODULE): not a PKCS#11 library, or it failed to start"

  local signature=$work/check.pem
  try_signing
  osslsigncode extract-signature -pem -in "$work/check.signed.exe" -out "$signature" >/dev/null 2>&1 ||
    fail "signing with $key gave no signature"
  # The signature's own algorithm names the kind of key that made it.
  local algorithm
  # (A signature that names none gives nothing, not a failure of the pipe.)
  algorithm=$(openssl pkcs7 -in "$signature" -print 2>/dev/null | sed -n '/digest_enc_alg:/{n;s/^ *algorithm: //p}') || true
  [[ $algorithm == rsaEncryption* || $algorithm == sha*WithRSAEncryption* ]] ||
    fail "the key $key is not RSA (${algorithm:-unknown}): Smart App Control accepts RSA signatures only"
  # The signer's certificate is the one whose public key is the key's: a
  # second login, now that the PIN is known to be right.
  local public candidate signer
  public=$(with_password openssl pkey -engine pkcs11 -inform engine -in "$key" -passin env:ZUR_SIGN_PASSWORD -pubout \
    </dev/null 2>/dev/null | sed -n '/-----BEGIN PUBLIC KEY-----/,/-----END PUBLIC KEY-----/p') || true
  [ -n "$public" ] || fail "cannot read the public key of $key"
  openssl pkcs7 -in "$signature" -print_certs 2>/dev/null |
    csplit -s -z -f "$work/certificate-" - '/-----BEGIN CERTIFICATE-----/' '{*}' 2>/dev/null ||
    fail "the signature made with $key holds no certificate"
  for candidate in "$work"/certificate-*; do
    if [ "$(openssl x509 -in "$candidate" -noout -pubkey 2>/dev/null)" = "$public" ]; then
      signer=$(cat "$candidate")
    fi
  done
  [ -n "${signer:-}" ] || fail "the certificate $cert does not match the key $key"
  check_usage "$signer" "$cert"
}

# osslsigncode signs IN into OUT at TIME, with a timestamp from URL when not
# empty; its output goes to $log.
osslsigncode_sign() {
  local options=(sign "${signer[@]}" -h sha256 -time "$3" -in "$1" -out "$2")
  [ -z "$4" ] || options+=(-ts "$4")
  rm -f "$2"
  if [ -n "${ZUR_SIGN_PASSWORD:+set}" ]; then
    # -readpass takes the first line of the file: here, standard input.
    # Without a controlling terminal (setsid), a module that wants a PIN it
    # did not get fails instead of asking for one.
    setsid -w osslsigncode "${options[@]}" -readpass /dev/stdin <<<"$ZUR_SIGN_PASSWORD" >"$log" 2>&1 || return 1
  else
    setsid -w osslsigncode "${options[@]}" </dev/null >"$log" 2>&1 || return 1
  fi
  [ -s "$2" ]
}

check=
[ "${1:-}" != --check ] || { check=1 && shift; }
if [ "${1:-}" = --pkcs11 ]; then
  [ $# -ge 4 ] || fail "usage: sign.sh [--check] --pkcs11 MODULE KEY CERT [FILE TIME [TIMESTAMP_URL]]"
  module=$2 key=$3 cert=$4
  signer=(-pkcs11module "$module" -key "$key")
  if [[ $cert == pkcs11:* ]]; then signer+=(-pkcs11cert "$cert"); else signer+=(-certs "$cert"); fi
  shift 4
else
  [ $# -ge 1 ] || fail "usage: sign.sh [--check] PFX [FILE TIME [TIMESTAMP_URL]]"
  pfx=$1
  signer=(-pkcs12 "$pfx")
  shift
fi
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (apt-get install osslsigncode)"

work=$(mktemp -d)
log=$work/osslsigncode.log

if [ -n "$check" ]; then
  [ $# -le 1 ] || fail "usage: sign.sh --check SIGNER [TIMESTAMP_URL]"
  timestamp_url=${1:-}
  if [ -n "${pfx+set}" ]; then
    check_pfx "$pfx"
    [ -z "$timestamp_url" ] || try_signing
  else
    check_pkcs11
  fi
  exit 0
fi

[ $# -eq 2 ] || [ $# -eq 3 ] || fail "usage: sign.sh SIGNER FILE TIME [TIMESTAMP_URL]"
file=$1 time=$2 timestamp_url=${3:-}
[[ $time =~ ^[0-9]+$ ]] || fail "signing time '$time' is not a number of seconds"
# A PKCS#12 file is checked here too: it costs no login.
[ -z "${pfx+set}" ] || check_pfx "$pfx"

signed=$file.signing
osslsigncode_sign "$file" "$signed" "$time" "$timestamp_url" || signing_failed "$file"
stamped "$signed"
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
