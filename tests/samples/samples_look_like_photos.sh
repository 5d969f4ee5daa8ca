#!/usr/bin/env bash
# The run commands' samples (tools/make-samples.sh) are what a newcomer
# sees first: pictures of the sizes their names say, a 24-bit BMP among
# them, each with a photograph's spread of colours, no two alike, and the
# same bytes every time.
#
#   tests/samples/samples_look_like_photos.sh MAKE_PHOTO_JPEG
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
gen="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$root/tools/make-samples.sh" "$tmp/a" "$gen"
bash "$root/tools/make-samples.sh" "$tmp/b" "$gen"
diff -r "$tmp/a" "$tmp/b" >/dev/null || fail "two runs made different files"

cd "$tmp/a"
mapfile -t files < <(ls)
((${#files[@]} == 4)) || fail "expected 4 samples, got: ${files[*]}"
jpegs=0 bmps=0
for f in "${files[@]}"; do
  read -r format size colours deviation < <(identify -format '%m %wx%h %k %[fx:int(1000*standard_deviation)]\n' "$f")
  [[ "$f" == *"-$size".* ]] || fail "$f is $size"
  case "$format" in
    JPEG) ((++jpegs)) ;;
    BMP | BMP3)
      ((++bmps))
      # Bits a pixel: 24, at offset 28 of the file.
      [[ "$(od -An -tu2 -j28 -N2 "$f" | tr -d ' ')" == 24 ]] || fail "$f is not a 24-bit BMP"
      ;;
    *) fail "$f is $format" ;;
  esac
  # A flat colour has one colour and no spread; a photograph has thousands
  # and a spread of light and dark.
  ((colours > 5000)) || fail "$f has only $colours colours"
  ((deviation > 100)) || fail "$f has a standard deviation of only $deviation/1000"
done
((jpegs == 3 && bmps == 1)) || fail "$jpegs JPEGs and $bmps BMPs, not 3 and 1"

# No two scenes alike: compared at one small size, every pair differs.
for f in "${files[@]}"; do convert "$f" -resize '64x48!' "$tmp/${f%.*}.ppm"; done
for ((i = 0; i < 4; ++i)); do
  for ((j = i + 1; j < 4; ++j)); do
    a="$tmp/${files[i]%.*}.ppm" b="$tmp/${files[j]%.*}.ppm"
    # compare exits 1 for pictures that differ: its figure is what counts.
    rmse="$({ compare -metric RMSE "$a" "$b" null: 2>&1 || true; } | sed 's/.*(\(.*\))/\1/')"
    awk -v r="$rmse" 'BEGIN { exit !(r > 0.05) }' || fail "${files[i]} and ${files[j]} look alike (RMSE $rmse)"
  done
done
echo "samples: ${files[*]}: photo-like, distinct, reproducible"
