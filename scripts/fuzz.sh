#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DHALCYON_BUILD_FUZZ=ON -DHALCYON_BUILD_TESTS=OFF -DHALCYON_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
for target in "$BUILD_DIR"/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="$BUILD_DIR/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name ($SECONDS_EACH s)"
  "$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>&1 | tail -n 4
done
