#!/usr/bin/env bash
# Regenerates the README's pictures under Wine, on a display of its own:
# the popup menu, the settings dialog, the about box, and the desktop with a
# centred and a tiled photo-like wallpaper. Writes docs/screenshots/*.png.
#
#   tools/screenshots.sh [BUILD_DIR]     (default build/mingw-x64, built here)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-$root/build/mingw-x64}"
cmake --preset mingw-x64 -B "$build" >/dev/null
cmake --build "$build" --target quillmere qm_probe
{ [[ -f build/linux/CMakeCache.txt ]] || cmake --preset linux >/dev/null; }
cmake --build --preset linux --target make-photo-jpeg >/dev/null

source tests/e2e/lib.sh
qm_env_init "$build/screenshots" "$build"
dest="$root/docs/screenshots"
mkdir -p "$dest"
trap qm_teardown EXIT

qm_prefix_fresh
qm_display_start
# Inside the prefix, so that the settings dialog shows a short C:\ path.
pics='C:\Wallpapers'
mkdir -p "$WINEPREFIX/drive_c/Wallpapers"
# A photo-like landscape (the run commands' generator), what a user would see.
"$root/build/linux/make-photo-jpeg" "$WINEPREFIX/drive_c/Wallpapers/lake.jpg" 480 300 baseline 90 2
qm_probe reg-set "$QM_CONFIG_KEY" "Directory:sz:$pics" AutoChange:dword:0 \
  Display:dword:0 Stretch:dword:0
qm_probe reg-set "$QM_DESKTOP_KEY" TileWallpaper:sz:0

die() { echo "screenshots: $*" >&2; exit 1; }

# A still desktop: pointer away, no tooltip, taskbar painted afresh.
settle() {
  qm_mouse_away
  qm_poll 5 qm_tooltips_hidden || true
  qm_redraw_taskbar || true
}

# The window's rectangle with a margin of M pixels, cut from the desktop.
crop_window() {  # crop_window HWND OUT [MARGIN]
  local rect m="${3:-0}"
  rect="$(qm_probe find --class '#32770' --visible | grep "hwnd=$1 " | qm_field rect)"
  [[ -n "$rect" ]] || rect="$(qm_probe find --class '#32768' --visible | grep "hwnd=$1 " | qm_field rect)"
  IFS=, read -r l t r b <<<"$rect"
  l=$((l - m < 0 ? 0 : l - m)) t=$((t - m < 0 ? 0 : t - m))
  r=$((r + m > QM_SCREEN_W ? QM_SCREEN_W : r + m)) b=$((b + m > QM_SCREEN_H ? QM_SCREEN_H : b + m))
  qm_shot "$QM_OUT/.desktop.png"
  convert "$QM_OUT/.desktop.png" -crop "$((r - l))x$((b - t))+$l+$t" +repage "$2"
}

qm_start
frame="$(qm_wait_frame)" || die "the program did not start"
qm_poll 10 qm_icon_drawn || die "no tray icon"

# Centred, then tiled through the menu's "&Tile Current Paper".
qm_click_icon 1
qm_probe wait-reg "$QM_DESKTOP_KEY" Wallpaper --not "" --timeout 10000 >/dev/null
settle
qm_shot "$dest/desktop-centred.png"

qm_click_icon 3
menu="$(qm_probe wait --class '#32768' --visible --timeout 8000 | qm_field hwnd)"
settle
# The menu where it opened, with the tray icon below it.
rect="$(qm_probe find --class '#32768' --visible | qm_field rect)"
IFS=, read -r l t r b <<<"$rect"
qm_shot "$QM_OUT/.desktop.png"
convert "$QM_OUT/.desktop.png" -crop "$((QM_SCREEN_W - l + 20))x$((QM_SCREEN_H - t + 20))+$((l - 20))+$((t - 20))" \
  +repage "$dest/menu.png"
qm_probe char "$menu" t
qm_probe wait-reg "$QM_DESKTOP_KEY" TileWallpaper --equals 1 --timeout 8000 >/dev/null
settle
qm_shot "$dest/desktop-tiled.png"

qm_probe command "$frame" 32772
dlg="$(qm_probe wait --title 'Quillmere Settings' --visible --timeout 10000 | qm_field hwnd)"
[[ -n "$dlg" ]] || die "no settings dialog"
settle
crop_window "$dlg" "$dest/settings.png"

qm_probe click "$dlg" 57664
about="$(qm_probe wait --title 'About Quillmere 2.0' --visible --timeout 10000 | qm_field hwnd)"
[[ -n "$about" ]] || die "no about box"
settle
crop_window "$about" "$dest/about.png"
qm_probe click "$about" 1
qm_probe wait-hwnd-gone "$about" --timeout 5000
qm_probe click "$dlg" 2
qm_probe wait-hwnd-gone "$dlg" --timeout 5000

ls -l "$dest"
