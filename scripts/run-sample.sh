#!/usr/bin/env bash
# Builds the project and runs the main job on built-in sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALCYON_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target halcyon
exec "$BUILD_DIR/bin/halcyon" factory-run --sample "$@"
