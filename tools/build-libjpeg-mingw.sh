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
case "$arch" in
  x64)  triple=x86_64-w64-mingw32; processor=x86_64 ;;
  i686) triple=i686-w64-mingw32;   processor=i686 ;;
  *) echo "usage: $0 x64|i686" >&2; exit 2 ;;
esac

root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="$root/build/libjpeg-mingw-$arch"
if [[ -f "$prefix/lib/libjpeg.a" ]]; then
  exit 0
fi

src_parent="$root/build/src"
mkdir -p "$src_parent"

find_source() {
  find "$src_parent" -maxdepth 1 -type d -name 'libjpeg-turbo-*' | sort | tail -n 1
}

src="$(find_source)"
if [[ -z "$src" ]]; then
  # apt-get source needs a deb-src line. Derive it from the machine's own
  # Debian sources so no mirror is baked into this repository.
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    main_sources=/etc/apt/sources.list.d/debian.sources
    if [[ ! -f "$main_sources" ]]; then
      echo "no $main_sources to derive a deb-src entry from" >&2
      exit 1
    fi
    sed -E 's/^Types:.*/Types: deb-src/' "$main_sources" \
      > /etc/apt/sources.list.d/quillmere-src.sources
    apt-get update
  fi
  (cd "$src_parent" && apt-get source libjpeg-turbo)
  src="$(find_source)"
  if [[ -z "$src" ]]; then
    echo "apt-get source libjpeg-turbo produced no source tree" >&2
    exit 1
  fi
fi

work="$root/build/libjpeg-mingw-$arch.build"
rm -rf "$work"
toolchain="$work/toolchain.cmake"
mkdir -p "$work"
cat > "$toolchain" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TC

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
