#!/usr/bin/env bash
# Cross-builds the Windows x64 DLLs and their tests into build-windows/ with
# MinGW-w64, over the dependency cache of scripts/setup-windows.sh (run it
# first, once).
#
#   HALCYON_WINDEPS  dependency cache (default: <repo>/build-windows-deps)
#   BUILD_DIR        build folder (default: <repo>/build-windows)
#   JOBS             parallel jobs (default 2)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
deps=${HALCYON_WINDEPS:-$repo/build-windows-deps}
build=${BUILD_DIR:-$repo/build-windows}
jobs=${JOBS:-2}
if [ ! -f "$deps/.built-wimlib" ]; then
  echo "build-windows: no dependency cache in $deps; run scripts/setup-windows.sh first" >&2
  exit 1
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DHALCYON_WINDEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALCYON_WERROR=ON \
  -DHALCYON_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
