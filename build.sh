#!/usr/bin/env bash
# Builds both programs into dist/ and shows the installer working under Wine.
# Signed when ZUR_SIGN_PFX, or ZUR_SIGN_PKCS11_MODULE with ZUR_SIGN_KEY and
# ZUR_SIGN_CERT, name a signer (see docs/releasing.md).
set -euo pipefail
# The signing password is for the build alone, not for the other steps.
. "$(dirname "$0")/scripts/signer.sh"
absolute_signer_paths
cd "$(dirname "$0")"

./scripts/ensure-deps.sh build
with_password ./scripts/build-all.sh
./scripts/demo.sh
