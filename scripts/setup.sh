#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, benchmark
# and package.
# Safe to run any number of times.
set -euo pipefail

packages=(
  build-essential g++ cmake pkg-config
  libwim-dev wimtools
  libpugixml-dev
  libsqlite3-dev sqlite3
  libssl-dev
  libdeflate-dev
  libfmt-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev
  clang libclang-rt-14-dev
  rhash
  dpkg-dev file lintian
  chromium # the line page's check in a headless browser (skipped without it)
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
