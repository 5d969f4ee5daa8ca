#!/bin/sh
# cmake --install into a temporary prefix: every file in its place.
set -eu
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/quillmere"
desktop-file-validate "$prefix/share/applications/quillmere.desktop"
grep -qx 'Exec=quillmere' "$prefix/share/applications/quillmere.desktop"
grep -qx 'Icon=quillmere' "$prefix/share/applications/quillmere.desktop"
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/quillmere.png"
  test "$(identify -format '%wx%h' "$png")" = "${size}x${size}"
done
echo "installed tree complete"
