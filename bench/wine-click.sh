#!/usr/bin/env bash
# Times the Windows program's click under Wine against the conversion
# alone, for an 18 MP photo (5184x3456): on one monitor (an Xvfb of
# 1920x1080) and on two side by side (an Xephyr of a 1920x1080 and a
# 1280x1024 screen joined by Xinerama, nested in an Xvfb), for centred,
# tiled, stretched, filled and fitted; on two, with a picture on each
# monitor, composed into one BMP (Wine has no per-monitor wallpaper).
#   bench/wine-click.sh [RUNS]      (default 5 clicks per layout, medians)
# QM_BENCH_BUILD names the build (default build/mingw-x64, made first).
# The click is the tray icon's left press sent to the frame (qm_probe send,
# timed inside the probe): the time until the frame has handled it, the
# conversion and the desktop's SystemParametersInfo included. The
# conversion alone is jpeg-to-wallpaper.exe of the same build, timed pair
# by pair inside one process; on two monitors, one conversion for each.
# Goals: on one monitor the click adds little to the conversion; on two,
# click / two conversions <= 1.1. Each display and Wine prefix is the
# script's own, made in a temporary folder and ended by process id.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
RUNS=${1:-5}
BUILD="${QM_BENCH_BUILD:-build/mingw-x64}"
source tests/e2e/lib.sh

{ [[ -f build/linux/CMakeCache.txt ]] || cmake --preset linux >/dev/null; } &&
  cmake --build --preset linux --target make-photo-jpeg >/dev/null &&
  cmake --build "$BUILD" --target quillmere qm_probe jpeg-to-wallpaper >/dev/null || exit 1
PHOTOS="$root/build/bench"
mkdir -p "$PHOTOS"
for seed in 1 2; do
  [[ -f "$PHOTOS/photo-5184x3456-seed$seed.jpg" ]] ||
    build/linux/make-photo-jpeg "$PHOTOS/photo-5184x3456-seed$seed.jpg" 5184 3456 baseline 90 "$seed" ||
    exit 1
done

work="$(mktemp -d "${TMPDIR:-/tmp}/qm-wine-bench.XXXXXX")"
qm_env_init "$work/out" "$BUILD"
pics="$work/pics"
mkdir -p "$pics"
cp "$PHOTOS"/photo-5184x3456-seed[12].jpg "$pics/"
pids=()
cleanup() {
  qm_stop
  wineserver -k 2>/dev/null
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT

# start_server NAME COMMAND...: an X server of ours; DISPLAY_OF is ":N".
start_server() {
  local name=$1
  shift
  "$@" -displayfd 3 -nolisten tcp 3>"$work/$name.display" >"$work/$name.log" 2>&1 &
  pids+=($!)
  qm_poll 10 test -s "$work/$name.display" || { echo "$name did not start" >&2; exit 1; }
  DISPLAY_OF=":$(head -n 1 "$work/$name.display")"
}

median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

# A prefix of its own made on the display, so that Wine takes its monitors.
new_prefix() {
  wineserver -k 2>/dev/null
  export WINEPREFIX="$work/prefix-$1"
  "$QM_WINE64" wineboot -i </dev/null >"$work/wineboot-$1.log" 2>&1
  timeout 120 wineserver -w
}

# click_ms DISPLAY_VALUE STRETCH EACH: the median of RUNS clicks, after one
# that warms the caches.
click_ms() {
  local display=$1 stretch=$2 each=$3 frame i
  qm_probe reg-set "$QM_CONFIG_KEY" "Directory:sz:$(qm_winpath "$pics")" AutoChange:dword:0 \
    Display:dword:"$display" Stretch:dword:"$stretch" EachMonitor:dword:"$each" Random:dword:0 \
    Width:dword:1 Height:dword:1 Time:dword:20 When:dword:0 >/dev/null || exit 1
  qm_start "$work"
  frame="$(qm_wait_frame)" || { echo "the program did not start" >&2; exit 1; }
  # WM_TRAYICON (WM_USER + 1234) for icon 128, WM_LBUTTONDOWN.
  for ((i = 0; i <= RUNS; i++)); do
    qm_probe send "$frame" 2258 128 513 | qm_field ms | { ((i)) && cat || cat >/dev/null; }
  done | median
  qm_stop
}

# convert_ms GROUP...: one conversion per group of arguments ("--fill WxH",
# "--fit WxH", or "full" for the full-size one), summed; the median of RUNS.
convert_ms() {
  local group args run sum
  for ((run = 0; run < RUNS; run++)); do
    sum=0
    for group in "$@"; do
      args=()
      [[ "$group" == full ]] || read -r -a args <<<"$group"
      local ms
      ms="$(QM_TIME_EACH=1 "$QM_WINE" "$BUILD/jpeg-to-wallpaper.exe" "${args[@]}" \
        "$(qm_winpath "$pics/photo-5184x3456-seed$((run % 2 + 1)).jpg")" \
        "$(qm_winpath "$work")\\out.bmp" 2>/dev/null | tr -d '\r' | qm_field ms)"
      sum="$(awk -v a="$sum" -v b="${ms:-0}" 'BEGIN { print a + b }')"
    done
    echo "$sum"
  done | median
}

# layouts MONITOR...: the table for these monitors (WxH each).
layouts() {
  local each=$(($# > 1)) layout display stretch click conv
  printf '%-8s %12s %10s %7s\n' layout convert_ms click_ms ratio
  for layout in centre tile stretch fill fit; do
    local groups=()
    case $layout in
      centre) display=0 stretch=0 ;;
      tile) display=1 stretch=0 ;;
      stretch) display=0 stretch=1 ;;
      fill) display=0 stretch=2 ;;
      fit) display=0 stretch=3 ;;
    esac
    local m
    for m in "$@"; do
      case $layout in
        fill | fit) groups+=("--$layout $m") ;;
        *) groups+=(full) ;;
      esac
    done
    conv="$(convert_ms "${groups[@]}")"
    click="$(click_ms "$display" "$stretch" "$each")"
    printf '%-8s %12.1f %10.1f %7.3f\n' "$layout" "$conv" "$click" \
      "$(awk -v a="$click" -v b="$conv" 'BEGIN { print (b > 0) ? a / b : 0 }')"
  done
}

echo "== one monitor, 1920x1080 (Xvfb), $RUNS clicks per layout, medians"
start_server xvfb Xvfb -screen 0 1920x1080x24
export DISPLAY="$DISPLAY_OF"
new_prefix one
layouts 1920x1080
echo "== two monitors, 1920x1080 + 1280x1024 (Xephyr, Xinerama), a picture on each, $RUNS clicks, medians"
start_server outer Xvfb -screen 0 3400x1200x24
DISPLAY="$DISPLAY_OF" start_server xephyr Xephyr +xinerama -extension RANDR \
  -screen 1920x1080 -screen 1280x1024
export DISPLAY="$DISPLAY_OF"
new_prefix two
echo "     Wine's monitors: $(qm_probe monitors | qm_field_all rect | tr '\n' ' ')"
layouts 1920x1080 1280x1024
