#!/usr/bin/env bash
# Builds both programs into dist/ and shows the installer working under Wine.
# Signed when ZUR_SIGN_PFX names a code-signing certificate (see README.md).
set -euo pipefail
[ -z "${ZUR_SIGN_PFX:-}" ] || export ZUR_SIGN_PFX=$(realpath -m -- "$ZUR_SIGN_PFX")
cd "$(dirname "$0")"

./scripts/ensure-deps.sh build
./scripts/build-all.sh
./scripts/demo.sh
