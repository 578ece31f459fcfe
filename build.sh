#!/usr/bin/env bash
# Builds both programs into dist/ and shows the installer working under Wine.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/ensure-deps.sh build
./scripts/build-all.sh
./scripts/demo.sh
