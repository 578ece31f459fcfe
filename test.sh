#!/usr/bin/env bash
# Builds everything and runs every test layer: native unit tests,
# Windows-side unit tests under Wine, end-to-end tests of the real programs
# under Wine, and the reproducibility check.
set -euo pipefail
# The signing password is for the build alone, not for the tests.
. "$(dirname "$0")/scripts/signer.sh"
absolute_signer_paths
cd "$(dirname "$0")"

./scripts/ensure-deps.sh test
with_password ./scripts/build-all.sh
# The Node.js that Windows users run, for the end-to-end tests of the
# launch road: fetched once per build tree.
./tests/node-win.sh build/win64/node-win
# The portable unit tests again, and the fuzz targets, under clang's
# sanitizers.
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset all -j "$(nproc)" "$@"
