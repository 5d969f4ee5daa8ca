#!/usr/bin/env bash
# Runs a Windows test program through cmake/wine-run.sh on an X display of
# its own: the tests that open windows, menus and message boxes. The Xvfb is
# ended by its process id whatever the program does.
#
#   tests/win32/display/with-display.sh PROGRAM.exe [ARGS...]
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
fdfile="$(mktemp)"
# -displayfd: Xvfb picks a free display number itself and writes it out.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
xvfb=$!
stop_xvfb() {
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -f "$fdfile"
}
trap stop_xvfb EXIT

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
