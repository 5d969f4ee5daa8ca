#!/usr/bin/env bash
# Sets the machine up, builds the native Linux program and starts it.
#
#   tools/run.sh            run until the program ends (its menu's "E&xit")
#   tools/run.sh --once     without a display: start it, show a picture, take
#                           the screenshot, stop
#
# With a desktop session ($DISPLAY or $WAYLAND_DISPLAY set) the program
# (build/linux/quillmere) starts on that desktop, as the user: its icon in
# the desktop's tray, its profile in ~/.config/Brandle Software/Quillmere.conf.
# When that profile has no folder yet it is pointed at sample pictures the
# script makes (build/run-linux/samples: photo-like landscapes,
# tools/make-samples.sh), so the first click on the icon shows one; a right
# click opens the menu with the settings.
#
# Without a display it runs in a session of its own under build/run-linux
# (temporary HOME, Xvfb, openbox, the trayer tray, its own session bus),
# shows the first picture and leaves a screenshot in
# build/run-linux/desktop.png.
#
# The Windows program under Wine: tools/run-wine.sh.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
once=0
[[ "${1:-}" == --once ]] && once=1
out="$root/build/run-linux"

if [[ -z "${QL_RUN_SESSION:-}" ]]; then
  if [[ "$(id -u)" == 0 ]]; then
    bash tools/setup.sh --linux
  fi
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target quillmere make-photo-jpeg
fi

source tests/e2e-linux/lib.sh

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -z "${QL_RUN_SESSION:-}" ]]; then
  profile="${XDG_CONFIG_HOME:-$HOME/.config}/Brandle Software/Quillmere.conf"
  if ! grep -q '^Directory=' "$profile" 2>/dev/null; then
    bash tools/make-samples.sh "$out/samples"
    mkdir -p "$(dirname "$profile")"
    printf '[Config]\nDirectory=%s\n' "$out/samples" >>"$profile"
    echo "First run: wallpaper folder $out/samples"
  fi
  echo "Starting Quillmere on your desktop; its icon is in the tray."
  exec build/linux/quillmere
fi

# No display: a session of our own, its bus started inside its folders.
ql_env_init "$out" build/linux
if [[ -z "${QL_RUN_SESSION:-}" ]]; then
  QL_RUN_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi
trap ql_teardown EXIT
trap 'exit 130' INT TERM
ql_display_start
echo "No display: running on a virtual display of our own ($DISPLAY)"
ql_host_start trayer
if ! ql_profile Directory >/dev/null 2>&1; then
  bash tools/make-samples.sh "$out/samples"
  ql_set_profile "Directory=$out/samples"
  echo "First run: wallpaper folder $out/samples"
fi
ql_desktop_reset
ql_start
ql_wait_frame >/dev/null || { echo "Quillmere did not start; log: $QL_OUT/quillmere-$QL_RUNS.log" >&2; exit 1; }
qm_poll 15 ql_icon_shown || { echo "Its icon did not appear in the tray" >&2; exit 1; }
echo "Quillmere is running; its icon is in the tray at the top right."
# Nobody can click here: show the first picture, then the screenshot.
ql_click_icon 1
ql_wait_shown_not none 10 >/dev/null || true
ql_mouse_away
sleep 1
ql_shot "$out/desktop.png"
echo "Screenshot of the desktop: $out/desktop.png"
if ((once)); then
  exit 0
fi
echo "Waiting for it to end (E&xit in its menu, or Ctrl-C here)."
wait "$QL_PID" || true
QL_PID=
