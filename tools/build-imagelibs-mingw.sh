#!/usr/bin/env bash
# Cross-builds static zlib, libpng and libwebp (with its demux part, which
# holds the animation decoder) for one mingw-w64 target from Debian's own
# source packages, so the Windows build decodes PNG and WebP with the same
# library versions as the Linux build. The sibling of build-libjpeg-mingw.sh.
#
#   tools/build-imagelibs-mingw.sh x64|i686
#
# Installs into build/imagelibs-mingw-<arch> (lib/, include/ and each
# library's licence text in share/doc/<name>/); does nothing when that is
# complete. Needs root the first time (adds a deb-src entry, runs apt-get).
set -euo pipefail

arch="${1:-}"
source "$(dirname "$0")/mingw-sources.sh" "$arch"
prefix="$root/build/imagelibs-mingw-$arch"
if [[ -f "$prefix/lib/libz.a" && -f "$prefix/lib/libpng16.a" && -f "$prefix/lib/libwebpdemux.a" &&
      -f "$prefix/share/doc/libwebp/COPYING" ]]; then
  exit 0
fi

zlib_src="$(source_tree zlib zlib)"
png_src="$(source_tree libpng1.6 libpng1.6)"
webp_src="$(source_tree libwebp libwebp)"

work="$root/build/imagelibs-mingw-$arch.build"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix/lib" "$prefix/include"
toolchain="$work/toolchain.cmake"
write_toolchain "$toolchain" "$prefix"

# zlib: its own build scripts want a shared library too; the static one is
# the sources compiled and archived, which is all its Makefile does.
mkdir -p "$work/zlib"
for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
         inftrees trees uncompr zutil; do
  "$triple-gcc-posix" -O2 -D_LARGEFILE64_SOURCE=1 -c "$zlib_src/$c.c" -o "$work/zlib/$c.o"
done
"$triple-ar" rcs "$prefix/lib/libz.a" "$work"/zlib/*.o
cp "$zlib_src/zlib.h" "$zlib_src/zconf.h" "$prefix/include/"
mkdir -p "$prefix/share/doc/zlib"
# zlib's licence is the notice at the head of zlib.h, which its README repeats.
cp "$zlib_src/README" "$prefix/share/doc/zlib/README"

cmake -S "$png_src" -B "$work/png" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DZLIB_ROOT="$prefix" -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
cmake --build "$work/png"
cmake --install "$work/png"
mkdir -p "$prefix/share/doc/libpng"
cp "$png_src/LICENSE" "$prefix/share/doc/libpng/LICENSE"

cmake -S "$webp_src" -B "$work/webp" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF \
  -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
  -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
  -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
  -DWEBP_BUILD_LIBWEBPMUX=OFF
cmake --build "$work/webp"
cmake --install "$work/webp"
mkdir -p "$prefix/share/doc/libwebp"
cp "$webp_src/COPYING" "$webp_src/PATENTS" "$prefix/share/doc/libwebp/"

rm -rf "$work"
