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
# QL_E2E_HOSTS="trayer xfce" picks hosts, QL_E2E_PHASES="clicks menu" phases;
# QL_E2E_TIMER=0 skips the minute-long timer phase. Output in
# BUILD_DIR/e2e-linux/<host>: logs, screenshots, fail-<n>.png/.txt.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$root/build/linux}" && pwd)"
out="$build/e2e-linux"
rm -rf "$out"
mkdir -p "$out"
status=0
for host in ${QL_E2E_HOSTS:-trayer xfce}; do
  bash "$here/session.sh" "$host" "$build" "$out/$host" || status=1
done
passed=$(cat "$out"/*/results.txt 2>/dev/null | grep -c '^ok ')
failed=$(cat "$out"/*/results.txt 2>/dev/null | grep -c '^FAIL')
echo
echo "e2e-linux: $passed passed, $failed failed"
((failed == 0)) || status=1
exit "$status"
