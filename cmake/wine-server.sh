#!/usr/bin/env bash
# Holds the Wine server of the project's prefix (build/wineprefix, as
# cmake/wine-run.sh uses it) for a whole ctest run: ctest's fixture runs
# "start" before the first test under Wine and "stop" after the last.
#
# Without it the server ends when its last program ends (Debian's
# wineserver wrapper passes -p0: no grace at all), so whenever ctest has no
# test under Wine running for a moment, the next one to start can reach a
# server that is shutting down: one that took its connection but refuses it
# new processes (the console host every console program starts) and exits
# a few seconds later. Such a program ends at once, before printing a line.
#
#   wine-server.sh start|stop
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/wine-lib.sh"
export WINEPREFIX="${QM_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
mark="$WINEPREFIX.held-by-ctest"

case "${1:-}" in
  start)
    rm -f "$mark"
    # A server the caller keeps for longer (tools/test-all.sh) is left
    # alone.
    if [[ -n "${QM_WINESERVER_HELD:-}" ]]; then
      echo "wine-server.sh: the caller holds the Wine server of $WINEPREFIX"
      exit 0
    fi
    # One that is ending (test discovery's, a moment ago) must be gone
    # first: a running server cannot be made persistent. One that is still
    # there after 30 s is held by someone else and runs on.
    if ! timeout 30 wineserver -w; then
      echo "wine-server.sh: a Wine server of $WINEPREFIX is held elsewhere; using it"
      exit 0
    fi
    # On /dev/null, the server and Wine's background services the first
    # program starts, or they keep ctest's output pipes open.
    wineserver -p </dev/null >/dev/null 2>&1 ||
      { echo "wine-server.sh: wineserver -p failed" >&2; exit 1; }
    bash "$root/cmake/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1
    : >"$mark"
    echo "wine-server.sh: holding the Wine server of $WINEPREFIX"
    ;;
  stop)
    # Only the server this fixture started.
    if [[ -f "$mark" ]]; then
      rm -f "$mark"
      wineserver -k 2>/dev/null || true
    fi
    ;;
  *)
    echo "usage: wine-server.sh start|stop" >&2
    exit 2
    ;;
esac
