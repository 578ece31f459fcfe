#!/usr/bin/env bash
# Builds both programs into dist/ and shows the installer working under Wine.
# Signed when ZUR_SIGN_PFX, or ZUR_SIGN_PKCS11_MODULE with ZUR_SIGN_KEY and
# ZUR_SIGN_CERT, name a signer (see README.md, "Releasing").
set -euo pipefail
# The files a signer names, from the caller's folder (a pkcs11: URI stays).
for name in ZUR_SIGN_PFX ZUR_SIGN_PKCS11_MODULE ZUR_SIGN_CERT; do
  value=${!name:-}
  [ -z "$value" ] || [[ $value == pkcs11:* ]] || export "$name=$(realpath -m -- "$value")"
done
cd "$(dirname "$0")"
# The signing password is for the build alone, not for the other steps.
export -n ZUR_SIGN_PASSWORD

./scripts/ensure-deps.sh build
(export ZUR_SIGN_PASSWORD && exec ./scripts/build-all.sh)
./scripts/demo.sh
