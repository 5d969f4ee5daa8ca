#!/usr/bin/env bash
# End-to-end tests of the native Linux program (build/<preset>/quillmere):
# the real program with a real XEmbed tray host (trayer) and a real
# StatusNotifierItem host (xfce4-panel), each on an Xvfb display of its own
# with openbox, inside its own dbus-run-session, with temporary HOME and XDG
# folders; driven by clicks on the icon, keys to its menu and dialogs, and
# checked through the profile file, the desktop's own value and the pixels
# or file it shows.
#
#   tests/e2e-linux/run-e2e.sh [BUILD_DIR]      (default: build/linux)
#
# The real desktop shells are hosts too, each a suite of its own: "gnome"
# (GNOME Shell 43, headless Wayland, gnome.sh) and "plasma" (Plasma 5.27 on
# Xvfb, plasma.sh); they run only when named.
#
# QL_E2E_HOSTS="trayer xfce" picks hosts, QL_E2E_PHASES="clicks menu" phases;
# QL_E2E_TIMER=0 skips the minute-long timer phase. Output in
# BUILD_DIR/e2e-linux/<host>: logs, screenshots, fail-<n>.png/.txt.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build/linux}" && pwd)"
out="$build/e2e-linux"
hosts="${QL_E2E_HOSTS:-trayer xfce}"
status=0
results=()
for host in $hosts; do
  rm -rf "${out:?}/$host"
  mkdir -p "$out/$host"
  results+=("$out/$host/results.txt")
  case "$host" in
    gnome | plasma) bash "$here/$host.sh" "$build" "$out/$host" || status=1 ;;
    *) bash "$here/session.sh" "$host" "$build" "$out/$host" || status=1 ;;
  esac
done
passed=$(cat "${results[@]}" 2>/dev/null | grep -c '^ok ')
failed=$(cat "${results[@]}" 2>/dev/null | grep -c '^FAIL')
echo
echo "e2e-linux${QL_E2E_HOSTS:+ ($hosts)}: $passed passed, $failed failed"
((failed == 0)) || status=1
exit "$status"
