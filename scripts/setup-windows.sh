#!/usr/bin/env bash
# Prepares the Windows cross-build: installs the MinGW-w64 compilers, Wine,
# the autotools and clang, then builds the outside libraries once, as static
# libraries for x86_64-w64-mingw32, into a cache folder (skipped when already
# built):
# pugixml, fmt and libdeflate from Debian's sources, googletest from
# /usr/src/googletest, wimlib from the release archive beside the repository.
# Finally makes the Wine prefix that every test program's prefix is copied
# from. Safe to run any number of times.
#
#   HALCYON_WINDEPS   cache folder (default: <repo>/build-windows-deps)
#   WIMLIB_ARCHIVE    wimlib release archive
#                     (default: <repo>/../shared/third_party/wimlib-1.14.5.tar.gz)
#   JOBS              parallel jobs (default 2)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
deps=${HALCYON_WINDEPS:-$repo/build-windows-deps}
wimlib_archive=${WIMLIB_ARCHIVE:-$repo/../shared/third_party/wimlib-1.14.5.tar.gz}
jobs=${JOBS:-2}
triplet=x86_64-w64-mingw32
toolchain=$repo/cmake/mingw-w64-x86_64.cmake

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

# --- packages ---------------------------------------------------------------
packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev
  wine64
  autoconf automake libtool pkg-config make dpkg-dev
  cmake googletest
  # compiles the test front end in the framework compiler's C++ ABI
  clang
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
updated=0
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  updated=1
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Source packages come from a deb-src stanza mirroring the Debian one.
src_list=/etc/apt/sources.list.d/halcyon-debian-src.sources
if [ ! -f "$src_list" ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed -e 's/^Types:.*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    | $SUDO tee "$src_list" >/dev/null
  updated=0
fi
if [ "$updated" -eq 0 ] && ! apt-get source --print-uris pugixml >/dev/null 2>&1; then
  $SUDO apt-get update -qq
fi

mkdir -p "$deps/src" "$deps/build"
deps=$(cd "$deps" && pwd)
stamp() { echo "$deps/.built-$1"; }
built() { [ -f "$(stamp "$1")" ]; }

cmake_dep() { # name source-dir cmake-args...
  local name=$1 src=$2; shift 2
  cmake -S "$src" -B "$deps/build/$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_CROSSCOMPILING_EMULATOR= "$@" >/dev/null
  cmake --build "$deps/build/$name" -j"$jobs" >/dev/null
  cmake --install "$deps/build/$name" >/dev/null
}

debian_source() { # source-package -> prints the unpacked folder
  local pkg=$1
  local dir
  dir=$(find "$deps/src" -maxdepth 1 -type d -name "$pkg-*" | head -n1)
  if [ -z "$dir" ]; then
    (cd "$deps/src" && apt-get source -qq "$pkg" >/dev/null 2>&1)
    dir=$(find "$deps/src" -maxdepth 1 -type d -name "$pkg-*" | head -n1)
  fi
  [ -n "$dir" ] || { echo "setup-windows: no source for $pkg" >&2; exit 1; }
  echo "$dir"
}

if ! built pugixml; then
  echo "setup-windows: pugixml"
  cmake_dep pugixml "$(debian_source pugixml)" -DPUGIXML_BUILD_TESTS=OFF
  touch "$(stamp pugixml)"
fi

if ! built fmt; then
  echo "setup-windows: fmt"
  cmake_dep fmt "$(debian_source fmtlib)" -DFMT_TEST=OFF -DFMT_DOC=OFF
  touch "$(stamp fmt)"
fi

if ! built libdeflate; then
  echo "setup-windows: libdeflate"
  src=$(debian_source libdeflate)
  make -C "$src" -j"$jobs" CC="$triplet-gcc-posix" AR="$triplet-ar" libdeflatestatic.lib >/dev/null
  mkdir -p "$deps/include" "$deps/lib"
  cp "$src/libdeflate.h" "$deps/include/"
  cp "$src/libdeflatestatic.lib" "$deps/lib/libdeflate.a"
  touch "$(stamp libdeflate)"
fi

if ! built googletest; then
  echo "setup-windows: googletest"
  cmake_dep googletest /usr/src/googletest -DINSTALL_GTEST=ON -DBUILD_GMOCK=ON
  touch "$(stamp googletest)"
fi

if ! built wimlib; then
  echo "setup-windows: wimlib"
  [ -f "$wimlib_archive" ] || { echo "setup-windows: missing $wimlib_archive" >&2; exit 1; }
  rm -rf "$deps/src/wimlib"
  mkdir -p "$deps/src/wimlib"
  tar -xzf "$wimlib_archive" -C "$deps/src/wimlib" --strip-components=1
  (
    cd "$deps/src/wimlib"
    ./bootstrap >/dev/null 2>&1
    ./configure -q --host=$triplet --prefix="$deps" \
      "CC=$triplet-gcc-posix -static-libgcc" \
      --without-ntfs-3g --without-fuse --disable-shared >/dev/null
    make -j"$jobs" >/dev/null
    make install-libLTLIBRARIES install-includeHEADERS install-pkgconfigDATA >/dev/null
  )
  touch "$(stamp wimlib)"
fi

# --- Wine prefix template ---------------------------------------------------
if [ ! -f "$deps/wine-template/system.reg" ]; then
  echo "setup-windows: Wine prefix template"
  rm -rf "$deps/wine-template"
  WINEPREFIX="$deps/wine-template" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" \
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 </dev/null
  WINEPREFIX="$deps/wine-template" /usr/lib/wine/wineserver -w
fi

echo "setup-windows: dependencies ready in $deps"
