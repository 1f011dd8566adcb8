#!/usr/bin/env bash
# Installs the packages scripts/package.sh made (as root, with dpkg), then
# proves the installed files alone are enough: a C front end built with
# pkg-config and one built with find_package(Halcyon) call the libraries, and
# "halcyon factory-run --sample" runs in an empty temporary folder. The
# packages are removed again at the end.
#   usage: packaging/check-installed.sh [DIST_DIR]   (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
DIST=$(realpath "${1:-dist}")
runtime=$(ls "$DIST"/halcyon_*.deb)
dev=$(ls "$DIST"/halcyon-dev_*.deb)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
work=$(mktemp -d)
cleanup() {
  $SUDO dpkg --purge halcyon-dev halcyon >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

$SUDO dpkg -i "$runtime" "$dev"
echo "installed: $(halcyon --version) at $(command -v halcyon)"
objdump -p "$(pkg-config --variable=libdir HalcyonDLL)/libHalcyonDLL.so.0" | grep -E 'SONAME|HALCYONDLL_0' | head -3
test -f /usr/share/man/man1/halcyon.1.gz
test -f /usr/share/bash-completion/completions/halcyon
# The operator's commands are in the manual page and the completion.
for c in status line machine log; do
  zcat /usr/share/man/man1/halcyon.1.gz | grep -q "^\.SS $c\$"
  grep -q "^    $c)" /usr/share/bash-completion/completions/halcyon
done

# Nothing of the source or build tree is used from here on.
cd "$work"
mkdir pc cm data
export HALCYON_MACHINE=$work/machine

# A front end built with pkg-config alone.
gcc -Wall -Werror -o pc/consumer "$SRC/packaging/consumer/consumer.c" \
  $(pkg-config --cflags --libs HalcyonDLL VerGauge)
pkg-config --exists MuiChooser
pc/consumer data

# The same front end built with find_package(Halcyon) alone.
rm -f data/*
cmake -S "$SRC/packaging/consumer" -B cm >/dev/null
cmake --build cm >/dev/null
cm/consumer data

# The main job from the installed command, in an empty folder, with the
# default machine of a fresh user.
unset HALCYON_MACHINE
mkdir run home
(cd run && HOME=$work/home XDG_STATE_HOME= halcyon factory-run --sample > factory-run.out 2>&1) || {
  cat run/factory-run.out; exit 1; }
tail -n 8 run/factory-run.out
test -f home/.local/state/halcyon/machine/registry.db
(cd run && HOME=$work/home XDG_STATE_HOME= halcyon status) | grep -q "^factory-run: done"
echo "check-installed: ok"
