# Sourced by the scripts that run halcyon.exe in a Wine prefix of their own:
# with $root (the prefix folder) and $work (the working folder) set, ends any
# server of an earlier run, empties both, enters $work and ends the server
# again on exit. Sets $runner (the Wine launcher) and $prefix.
runner=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run-windows.sh
prefix=$root/halcyon
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
rm -rf "$root" "$work"
mkdir -p "$root" "$work"
cd "$work"
export WINE_PREFIX_ROOT="$root"
trap 'WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
