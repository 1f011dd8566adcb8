#!/usr/bin/env bash
# Builds the Debian packages from the build tree (the one scripts/test.sh
# made, or a new one):
#   halcyon_<version>_<arch>.deb      the three libraries, the halcyon command,
#                                     its manual page, completion and documents
#   halcyon-dev_<version>_<arch>.deb  headers, pkg-config files, CMake package
# into dist/ (DIST_DIR), with dependencies found by dpkg-shlibdeps, then runs
# lintian on them and fails on any error it reports.
# The build tree is set to Debian's paths (prefix /usr).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
DIST_DIR=$(realpath -m "${DIST_DIR:-dist}")

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALCYON_WERROR=ON \
  -DCMAKE_INSTALL_PREFIX=/usr -DHALCYON_DEBIAN_FILES=ON >/dev/null
# What the packages hold (already built when scripts/test.sh ran).
cmake --build "$BUILD_DIR" -j"$(nproc)" --target HalcyonDLL VerGauge MuiChooser halcyon halcyon_manual \
  halcyon_debian_changelogs
rm -rf "$DIST_DIR"
mkdir -p "$DIST_DIR"
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$DIST_DIR" >/dev/null
rm -rf "$DIST_DIR/_CPack_Packages"
ls -l "$DIST_DIR"/*.deb

if command -v lintian >/dev/null; then
  lintian --fail-on error "$DIST_DIR"/*.deb
else
  echo "package: lintian not installed (scripts/setup.sh installs it); packages not checked" >&2
fi
