#!/usr/bin/env bash
# Runs a Windows test program under wine64 in a Wine prefix of its own,
# copied from the template prefix on first use (the registry and C: are
# real there, so programs must not share them).
#
#   WINE_TEMPLATE     template prefix (default: $HALCYON_WINDEPS/wine-template)
#   WINE_PREFIX_ROOT  folder of the per-program prefixes
#                     (default: ./wine-prefixes beside the program's folder)
#
# Usage: wine-run-windows.sh program.exe [arguments...]
set -euo pipefail
program=$1
shift
here=$(cd "$(dirname "$0")/.." && pwd)
template=${WINE_TEMPLATE:-${HALCYON_WINDEPS:-$here/build-windows-deps}/wine-template}
prefix_root=${WINE_PREFIX_ROOT:-$(cd "$(dirname "$program")/.." && pwd)/wine-prefixes}
name=$(basename "$program" .exe)
prefix=$prefix_root/$name

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

mkdir -p "$prefix_root"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    [ -f "$template/system.reg" ] || { echo "wine-run: no template prefix at $template" >&2; exit 2; }
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
    # A drive X: as on the preinstallation environment the programs run in.
    mkdir -p "$prefix/drive_c/x-drive"
    ln -sfn ../drive_c/x-drive "$prefix/dosdevices/x:"
  fi
) 9>"$prefix_root/$name.lock"
# A persistent server and Wine's services started away from the caller's
# output pipe, so that ctest does not wait for them: once per server (the
# services live as long as it does; a running server answers 2).
if "$wineserver" -p60 </dev/null >/dev/null 2>&1; then
  "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
# A test case that ends in failure without printing a line never reached its
# program (a test program prints the filter before anything else): Wine did
# not start it. Such a case is started once more, and says so; any other
# ending stands.
case " $* " in
  *" --gtest_filter="*) ;;
  *) exec "$wine" "$program" "$@" ;;
esac
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  status=0
  "$wine" "$program" "$@" 2>&1 | tee "$out" || status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 2 ]; then
    exit "$status"
  fi
  echo "wine-run: $name ended with $status before printing anything; starting it again" >&2
done
