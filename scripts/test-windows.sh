#!/usr/bin/env bash
# Builds the Windows side (scripts/build-windows.sh) and runs its tests under
# wine64, each test program in its own Wine prefix copied from the template
# of the dependency cache.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-windows}
export HALCYON_WINDEPS=${HALCYON_WINDEPS:-$repo/build-windows-deps}
"$repo/scripts/build-windows.sh"
# Fresh prefixes for every run.
rm -rf "$build/wine-prefixes"
status=0
ctest --test-dir "$build" --output-on-failure -j"${JOBS:-2}" --timeout 300 || status=$?
for prefix in "$build"/wine-prefixes/*/; do
  [ -d "$prefix" ] && WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
done
exit $status
