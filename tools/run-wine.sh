#!/usr/bin/env bash
# Sets the machine up, builds the Windows program and starts it under
# wine64 (the native Linux program: tools/run.sh).
#
#   tools/run-wine.sh            run until the program ends (its menu's "E&xit")
#   tools/run-wine.sh --once     start it, show a picture, take the screenshot, stop
#
# With $DISPLAY set, the program's desktop (an 800x600 Wine desktop window
# with the taskbar and its tray icon) opens on that display. Without one it
# runs on a virtual display of its own (Xvfb) and leaves a screenshot of the
# desktop in build/run/desktop.png. The Wine prefix build/run/prefix keeps
# the settings between runs; on the first run the profile is pointed at a
# folder of sample pictures (build/run/samples, tools/make-samples.sh: built
# with the native generator), so the first click on the tray icon shows one. On Windows, build/mingw-*/Quillmere.exe is the program
# itself: start it directly.
#
# QM_BUILD_DIR: another build folder of the mingw-x64 preset, if wanted.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
once=0
[[ "${1:-}" == --once ]] && once=1

build="${QM_BUILD_DIR:-$root/build/mingw-x64}"

bash tools/setup.sh
cmake --preset mingw-x64 -B "$build" >/dev/null
cmake --build "$build" --target quillmere qm_probe

source tests/e2e/lib.sh
qm_env_init "$root/build/run" "$build"
own_display=0
cleanup() {
  if ((own_display)); then
    qm_teardown
  else
    qm_stop
    wineserver -k 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

[[ -f "$WINEPREFIX/system.reg" ]] || echo "Creating the Wine prefix $WINEPREFIX"
qm_prefix_prepare
if [[ -z "${DISPLAY:-}" ]]; then
  qm_display_start
  own_display=1
  echo "No \$DISPLAY: running on a virtual display of our own ($DISPLAY)"
fi

# First run: no folder in the profile yet. Point it at sample pictures.
if ! qm_probe reg "$QM_CONFIG_KEY" Directory >/dev/null 2>&1; then
  bash tools/make-samples.sh "$QM_OUT/samples"
  qm_probe reg-set "$QM_CONFIG_KEY" "Directory:sz:$(qm_winpath "$QM_OUT/samples")"
  echo "First run: wallpaper folder $QM_OUT/samples"
fi

qm_start
frame="$(qm_wait_frame)" || { echo "Quillmere did not start; log: $QM_OUT/quillmere-1.log" >&2; exit 1; }
echo "Quillmere is running; click its icon at the taskbar's right end to change the wallpaper."

if ((own_display)); then
  # Nobody can click here: show the first picture, then the screenshot.
  before="$(qm_reg_data "$QM_DESKTOP_KEY" Wallpaper)"
  qm_poll 10 qm_icon_drawn || true
  qm_click_icon 1
  qm_probe wait-reg "$QM_DESKTOP_KEY" Wallpaper --not "$before" --timeout 10000 >/dev/null || true
  qm_mouse_away
  qm_poll 5 qm_tooltips_hidden || true
  qm_redraw_taskbar || true
  qm_shot "$QM_OUT/desktop.png"
  echo "Screenshot of the desktop: $QM_OUT/desktop.png"
fi

if ((once)); then
  exit 0
fi
echo "Waiting for it to end (E&xit in its menu, or Ctrl-C here)."
wait "$QM_PID" || true
QM_PID=
