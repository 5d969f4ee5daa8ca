#!/usr/bin/env bash
# The run commands' sample folder: generated landscapes that look like
# photographs, in the sizes a user's pictures come in, three JPEGs and one
# BMP, so that the first picture shown looks like the product.
#
#   tools/make-samples.sh DIR [MAKE_PHOTO_JPEG]
#
# MAKE_PHOTO_JPEG: the generator (bench/make_photo_jpeg.cpp); without it,
# built in the linux preset. Same bytes on every run.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"
gen="${2:-}"
if [[ -z "$gen" ]]; then
  (cd "$root" && { [[ -f build/linux/CMakeCache.txt ]] || cmake --preset linux >/dev/null; } &&
    cmake --build --preset linux --target make-photo-jpeg >/dev/null)
  gen="$root/build/linux/make-photo-jpeg"
fi

mkdir -p "$dir"
"$gen" "$dir/lake-1-1920x1080.jpg" 1920 1080 baseline 90 1
"$gen" "$dir/lake-2-1600x1200.jpg" 1600 1200 progressive 90 2
"$gen" "$dir/lake-3-1024x768.jpg" 1024 768 baseline 90 3
# The BMP from a JPEG of its own, 24 bits a pixel like most BMPs people keep.
tmp="$(mktemp --suffix .jpg)"
trap 'rm -f "$tmp"' EXIT
"$gen" "$tmp" 1280 800 baseline 95 5
convert "$tmp" -type truecolor "BMP3:$dir/lake-4-1280x800.bmp"
