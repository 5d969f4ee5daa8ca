#!/usr/bin/env bash
# Cross-builds a static libjpeg-turbo (libjpeg 6 interface, SIMD on) for one
# mingw-w64 target from Debian's own source package, so the Windows build
# decodes with the same library version as the Linux build.
#
#   tools/build-libjpeg-mingw.sh x64|i686
#
# Installs into build/libjpeg-mingw-<arch>; does nothing when that exists.
# Needs root the first time (adds a deb-src entry and runs apt-get).
set -euo pipefail

arch="${1:-}"
source "$(dirname "$0")/mingw-sources.sh" "$arch"
prefix="$root/build/libjpeg-mingw-$arch"
if [[ -f "$prefix/lib/libjpeg.a" ]]; then
  exit 0
fi

src="$(source_tree libjpeg-turbo libjpeg-turbo)"
work="$root/build/libjpeg-mingw-$arch.build"
rm -rf "$work"
mkdir -p "$work"
toolchain="$work/toolchain.cmake"
write_toolchain "$toolchain"

cmake -S "$src" -B "$work" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF \
  -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF
cmake --build "$work"
cmake --install "$work"
rm -rf "$work"
