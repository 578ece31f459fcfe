#!/usr/bin/env bash
# Installs the Debian packages that the build needs, and with "test" the
# tests, with "bench" the benchmark. Idempotent and silent when everything
# is present.
set -euo pipefail

# The Windows programs: clang and lld against MinGW-w64's headers and
# libraries (g++-mingw-w64 brings them, and the noop program of the bench).
packages=(cmake ninja-build g++ libgtest-dev googletest zlib1g-dev
          g++-mingw-w64-x86-64-posix clang lld wine wine64)
case "${1:-build}" in
  # clang's compiler-rt for the sanitize tree (ASan, UBSan, libFuzzer);
  # osslsigncode and openssl for the signed build's test; a token in
  # software (SoftHSM), its tools and OpenSSL's PKCS#11 engine for signing
  # with a key in a token.
  test) packages+=(chromium e2fsprogs libclang-rt-14-dev osslsigncode openssl
                   softhsm2 opensc libengine-pkcs11-openssl) ;;
  bench) packages+=(nsis time) ;;
esac
command -v node >/dev/null 2>&1 || packages+=(nodejs)
[ -z "${ZUR_SIGN_PFX:-}" ] || packages+=(osslsigncode openssl)
[ -z "${ZUR_SIGN_PKCS11_MODULE:-}" ] || packages+=(osslsigncode openssl opensc libengine-pkcs11-openssl)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
