#!/usr/bin/env bash
# Builds both programs into dist/ and shows the installer working under Wine.
# Signed when ZUR_SIGN_PFX names a code-signing certificate (see README.md).
set -euo pipefail
[ -z "${ZUR_SIGN_PFX:-}" ] || export ZUR_SIGN_PFX=$(realpath -m -- "$ZUR_SIGN_PFX")
cd "$(dirname "$0")"
# The signing password is for the build alone, not for the other steps.
export -n ZUR_SIGN_PASSWORD

./scripts/ensure-deps.sh build
(export ZUR_SIGN_PASSWORD && exec ./scripts/build-all.sh)
./scripts/demo.sh
