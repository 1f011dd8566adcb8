#!/usr/bin/env bash
# Builds the project and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/configure.sh
cmake --build "$BUILD_DIR" -j"$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" --timeout 300
