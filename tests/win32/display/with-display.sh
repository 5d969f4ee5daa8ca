#!/usr/bin/env bash
# Runs a Windows test program through cmake/wine-run.sh on an X display of
# its own: the tests that open windows, menus and message boxes.
#
#   tests/win32/display/with-display.sh PROGRAM.exe [ARGS...]
#
# Wine's desktop belongs to the display of the first program that opens a
# window, so programs on two displays cannot share one Wine server: these
# runs use a prefix of their own (build/wineprefix-display, or
# $QM_DISPLAY_WINEPREFIX), take turns at it, and each one ends that prefix's
# server before its Xvfb, which it ends by its process id.
set -uo pipefail
# Debian's wine64 keeps wineserver here, off the PATH.
export PATH="/usr/lib/wine:$PATH"

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
export QM_WINEPREFIX="${QM_DISPLAY_WINEPREFIX:-$root/build/wineprefix-display}"
mkdir -p "$(dirname "$QM_WINEPREFIX")"
exec 8>"$QM_WINEPREFIX.turn"
flock 8

fdfile="$(mktemp)"
# -displayfd: Xvfb picks a free display number itself and writes it out.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
xvfb=$!
finish() {
  WINEPREFIX="$QM_WINEPREFIX" wineserver -k 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -f "$fdfile"
}
trap finish EXIT

for ((i = 0; i < 200; i++)); do
  [[ -s "$fdfile" ]] && break
  if ! kill -0 "$xvfb" 2>/dev/null; then
    echo "Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.05
done
[[ -s "$fdfile" ]] || { echo "Xvfb gave no display number" >&2; exit 1; }

DISPLAY=":$(tr -d '\n' <"$fdfile")" bash "$root/cmake/wine-run.sh" "$@"
