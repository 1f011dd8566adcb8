#!/usr/bin/env bash
# Builds the project and runs both main jobs on built-in sample data: the
# factory run installs one emulated machine from a sample factory share, the
# recovery run restores a second machine from the recovery discs cut from it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/configure.sh
cmake --build "$BUILD_DIR" -j"$(nproc)" --target halcyon MuiChooser
"$BUILD_DIR/bin/halcyon" factory-run --sample --machine halcyon-sample/machine "$@"
echo
exec "$BUILD_DIR/bin/halcyon" recovery-run --sample --machine halcyon-sample/recovery-machine \
    --target halcyon-sample/recovery-target "$@"
