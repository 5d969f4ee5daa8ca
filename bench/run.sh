#!/usr/bin/env bash
# Times jpeg-to-wallpaper against djpeg on photo-sized pictures, and on an
# 18 MP PNG and WebP against pngtopnm and dwebp -ppm.
#   bench/run.sh [RUNS]      (default 7 runs of each command per picture)
# Runs interleave the commands so that drift in machine load hits all of
# them alike; medians are reported. Each command overwrites its own output
# file every run, as the wallpaper is replaced in use.
# Goals: wall(ours) / wall(djpeg -ppm) <= 1.15,
#        peak RSS(ours) / peak RSS(djpeg -bmp) <= 1.05.
# PNG and WebP: wall(ours) / wall(pngtopnm or dwebp -ppm) <= 1.1, and the
# same for peak RSS.
# Then the image list of 100,000 pictures in 10,000 folders (goal < 2 s).
# Then the decode's memory cap: small progressive files that declare huge
# pictures are refused (time and peak memory of the refusal, and the box's
# words), and the largest photo the cap is sized for, 100 MP progressive
# without chroma subsampling, still converts.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-7}
TIME=/usr/bin/time
command -v djpeg >/dev/null || { echo "djpeg not found (libjpeg-turbo-progs)" >&2; exit 1; }
[ -x "$TIME" ] || { echo "GNU time not found at $TIME" >&2; exit 1; }

cmake --preset linux >/dev/null
cmake --build --preset linux --target jpeg-to-wallpaper make-photo-jpeg list-tree >/dev/null
for tool in pngtopnm pnmtopng dwebp cwebp; do
  command -v $tool >/dev/null || { echo "$tool not found (netpbm, webp)" >&2; exit 1; }
done

OUT=build/bench
mkdir -p "$OUT"
BIN=build/linux
[ -f "$OUT/photo-4096x3072.jpg" ] || "$BIN/make-photo-jpeg" "$OUT/photo-4096x3072.jpg" 4096 3072
[ -f "$OUT/photo-6000x4000-progressive.jpg" ] ||
  "$BIN/make-photo-jpeg" "$OUT/photo-6000x4000-progressive.jpg" 6000 4000 progressive

# One timed run: prints "seconds maxrss_kb". GNU time's own wall clock has
# only 10 ms resolution, so the wall time is taken around it; its small
# start-up cost is the same for every command.
timed() {
  local t0=$EPOCHREALTIME
  "$TIME" -f '%M' -o "$OUT/time.txt" "$@" >/dev/null 2>"$OUT/stderr.txt" || {
    echo "failed: $*" >&2; cat "$OUT/stderr.txt" >&2; exit 1; }
  local t1=$EPOCHREALTIME
  echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') $(cat "$OUT/time.txt")"
}

median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

printf '%-36s %-14s %9s %11s\n' image command wall_s peak_rss_kb
for img in "$OUT/photo-4096x3072.jpg" "$OUT/photo-6000x4000-progressive.jpg"; do
  : > "$OUT/ours.txt"; : > "$OUT/ppm.txt"; : > "$OUT/bmp.txt"
  # Warm the page cache so the first command is not penalised.
  cat "$img" > /dev/null
  # The order rotates each round: a command that follows a big writer
  # meets its dirty pages being flushed, and that should not always be us.
  for ((i = 0; i < RUNS; i++)); do
    for ((k = 0; k < 3; k++)); do
      case $(((i + k) % 3)) in
        0) timed "$BIN/jpeg-to-wallpaper" "$img" "$OUT/ours.bmp" >> "$OUT/ours.txt" ;;
        1) timed djpeg -ppm -outfile "$OUT/djpeg.ppm" "$img" >> "$OUT/ppm.txt" ;;
        2) timed djpeg -bmp -outfile "$OUT/djpeg.bmp" "$img" >> "$OUT/bmp.txt" ;;
      esac
    done
  done
  name=$(basename "$img")
  for c in ours ppm bmp; do
    w=$(cut -d' ' -f1 "$OUT/$c.txt" | median)
    m=$(cut -d' ' -f2 "$OUT/$c.txt" | median)
    eval "W_$c=$w M_$c=$m"
    label=$c; [ $c = ours ] && label=jpeg-to-wallpaper; [ $c = ppm ] && label="djpeg -ppm"; [ $c = bmp ] && label="djpeg -bmp"
    printf '%-36s %-14s %9s %11s\n' "$name" "$label" "$w" "$m"
  done
  # Our BMP must be the same picture djpeg writes.
  if cmp -s "$OUT/ours.bmp" "$OUT/djpeg.bmp"; then same=identical; else same=DIFFERENT; fi
  awk -v wo="$W_ours" -v wp="$W_ppm" -v mo="$M_ours" -v mb="$M_bmp" -v s="$same" -v n="$name" 'BEGIN {
    rw = (wp > 0) ? wo / wp : 0; rm = mo / mb
    printf "%-36s wall ours/djpeg-ppm = %.3f (goal <= 1.15) %s; rss ours/djpeg-bmp = %.3f (goal <= 1.05) %s; bmp vs djpeg: %s\n",
      n, rw, (rw <= 1.15 ? "ok" : "MISSED"), rm, (rm <= 1.05 ? "ok" : "MISSED"), s }'
done

# --- PNG and WebP -------------------------------------------------------------
# An 18 MP photo (5184 x 3456) as PNG, lossy WebP and lossless WebP, made from
# the same drawing; each against its library's own tool.
PHOTO18="$OUT/photo-5184x3456.jpg"
[ -f "$PHOTO18" ] || "$BIN/make-photo-jpeg" "$PHOTO18" 5184 3456
[ -f "$OUT/photo-18mp.png" ] || djpeg -ppm "$PHOTO18" | pnmtopng > "$OUT/photo-18mp.png"
[ -f "$OUT/photo-18mp-lossy.webp" ] || cwebp -quiet -q 85 "$OUT/photo-18mp.png" -o "$OUT/photo-18mp-lossy.webp"
[ -f "$OUT/photo-18mp-lossless.webp" ] ||
  cwebp -quiet -lossless -z 1 "$OUT/photo-18mp.png" -o "$OUT/photo-18mp-lossless.webp"

echo
printf '%-36s %-14s %9s %11s\n' image command wall_s peak_rss_kb
for img in "$OUT/photo-18mp.png" "$OUT/photo-18mp-lossy.webp" "$OUT/photo-18mp-lossless.webp"; do
  : > "$OUT/ours.txt"; : > "$OUT/ref.txt"
  cat "$img" > /dev/null
  case $img in
    # Both write their file, as ours does.
    *.png) ref=(sh -c 'exec pngtopnm "$1" > "$2"' sh "$img" "$OUT/ref.ppm"); label=pngtopnm ;;
    *) ref=(dwebp -quiet -ppm "$img" -o "$OUT/ref.ppm"); label="dwebp -ppm" ;;
  esac
  for ((i = 0; i < RUNS; i++)); do
    for ((k = 0; k < 2; k++)); do
      if (((i + k) % 2 == 0)); then
        timed "$BIN/jpeg-to-wallpaper" "$img" "$OUT/ours.bmp" >> "$OUT/ours.txt"
      else
        timed "${ref[@]}" >> "$OUT/ref.txt"
      fi
    done
  done
  name=$(basename "$img")
  W_ours=$(cut -d' ' -f1 "$OUT/ours.txt" | median); M_ours=$(cut -d' ' -f2 "$OUT/ours.txt" | median)
  W_ref=$(cut -d' ' -f1 "$OUT/ref.txt" | median); M_ref=$(cut -d' ' -f2 "$OUT/ref.txt" | median)
  printf '%-36s %-14s %9s %11s\n' "$name" jpeg-to-wallpaper "$W_ours" "$M_ours"
  printf '%-36s %-14s %9s %11s\n' "$name" "$label" "$W_ref" "$M_ref"
  awk -v wo="$W_ours" -v wr="$W_ref" -v mo="$M_ours" -v mr="$M_ref" -v n="$name" -v l="$label" 'BEGIN {
    rw = wo / wr; rm = mo / mr
    printf "%-36s wall ours/%s = %.3f (goal <= 1.1) %s; rss ours/%s = %.3f (goal <= 1.1) %s\n",
      n, l, rw, (rw <= 1.1 ? "ok" : "MISSED"), l, rm, (rm <= 1.1 ? "ok" : "MISSED") }'
done
rm -f "$OUT/ours.bmp" "$OUT/ref.ppm"

# --- Subfolders -------------------------------------------------------------------
echo
"$BIN/list-tree" "$OUT/tree" "$RUNS" | tail -1

# --- The memory cap ---------------------------------------------------------
# A real 640x480 photo whose frame header claims 65500 x 65500 (no BMP holds
# it: refused by its size) or 20000 x 20000 (a BMP would, but buffering its
# coefficients would pass the cap: refused by the library), and a 100 MP
# progressive 4:4:4 photo (582 MiB of coefficients) that must convert.
HUGE="$OUT/declares-65500x65500-progressive.jpg"
OVER="$OUT/declares-20000x20000-progressive.jpg"
BIG="$OUT/photo-11648x8736-progressive-444.jpg"
[ -f "$HUGE" ] || "$BIN/make-photo-jpeg" "$HUGE" 640 480 progressive 95 declare=65500x65500
[ -f "$OVER" ] || "$BIN/make-photo-jpeg" "$OVER" 640 480 progressive 95 declare=20000x20000
[ -f "$BIG" ] || "$BIN/make-photo-jpeg" "$BIG" 11648 8736 progressive 90 444

# One run that must be refused: prints "seconds maxrss_kb"; the message is
# left in $OUT/stderr.txt. (GNU time reports the exit status on a line of
# its own before the figure.)
refused() {
  local t0=$EPOCHREALTIME
  if "$TIME" -f '%M' -o "$OUT/time.txt" "$@" >/dev/null 2>"$OUT/stderr.txt"; then
    echo "not refused: $*" >&2; exit 1
  fi
  local t1=$EPOCHREALTIME
  echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') $(tail -1 "$OUT/time.txt")"
}

echo
printf '%-42s %8s %9s %11s  %s\n' image size_kb wall_s peak_rss_kb outcome
for img in "$HUGE" "$OVER" "$BIG"; do
  : > "$OUT/cap.txt"
  for ((i = 0; i < RUNS; i++)); do
    if [ "$img" = "$BIG" ]; then
      timed "$BIN/jpeg-to-wallpaper" "$img" "$OUT/cap.bmp" >> "$OUT/cap.txt"
      outcome="converted, $(stat -c %s "$OUT/cap.bmp") bytes of BMP"
    else
      refused "$BIN/jpeg-to-wallpaper" "$img" "$OUT/cap.bmp" >> "$OUT/cap.txt"
      outcome="refused: $(tr '\n' ' ' < "$OUT/stderr.txt")"
    fi
  done
  printf '%-42s %8s %9s %11s  %s\n' "$(basename "$img")" "$(( $(stat -c %s "$img") / 1024 ))" \
    "$(cut -d' ' -f1 "$OUT/cap.txt" | median)" "$(cut -d' ' -f2 "$OUT/cap.txt" | median)" "$outcome"
done
rm -f "$OUT/cap.bmp"

# The bare X root window's setter against the conversion.
bash bench/root-setter.sh "$RUNS"
