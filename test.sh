#!/usr/bin/env bash
# Builds everything and runs every test layer: native unit tests,
# Windows-side unit tests under Wine, end-to-end tests of the real programs
# under Wine, and the reproducibility check.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/ensure-deps.sh test
./scripts/build-all.sh
# The portable unit tests again, and the fuzz targets, under clang's
# sanitizers.
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset all -j "$(nproc)" "$@"
