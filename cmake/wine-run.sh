#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own Wine prefix
# (build/wineprefix), creating the prefix on first use: a 32-bit program
# with the 32-bit loader, anything else with wine64. CMake uses this as the
# cross-compiling emulator, so ctest and test discovery go through it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/wine-lib.sh"
export WINEPREFIX="${QM_WINEPREFIX:-$root/build/wineprefix}"
# Wine's own errors only: they are kept apart from the program's output and
# shown when it fails, since a program Wine could not start says nothing.
export WINEDEBUG="${WINEDEBUG:--all,err+all}"
# No Mono or Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  # Serialise creation: ctest may start several tests at once.
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    "$QM_WINE64" wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  exec 9>&-
fi

wine="$(qm_wine_for "${1:-}")"
if [[ "$wine" == "$QM_WINE32" ]] && ! qm_prefix_has_32bit "$WINEPREFIX"; then
  if qm_wine_runs_32bit; then
    echo "wine-run.sh: the prefix $WINEPREFIX has no 32-bit half (made before 32-bit Wine" \
      "was installed); tools/setup.sh makes it again" >&2
  else
    echo "wine-run.sh: cannot run the 32-bit $1: $QM_NO_32BIT" >&2
  fi
  exit 1
fi
# Wine's lines ("0123:err:...", "wine: ...", "wine client error...") go
# to a file; the program's own standard error follows them out when it
# ends, its standard output is left as it is (test discovery reads it).
diag="$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
trap 'rm -f "$diag"' EXIT
status=0
# Without address randomisation: now and then the kernel placed something
# where Wine must map its shared user data (0x7ffe0000), and Wine failed to
# start the program ("failed to map the shared user data: c0000018", or the
# 32-bit loader's segmentation fault) before it printed a line.
setarch "$(uname -m)" -R "$wine" "$@" 2>"$diag" || status=$?
wine_lines='^([0-9a-f]{4,8}:)?(err|warn|fixme|trace):|^wine: |^wine client error'
grep -a -v -E "$wine_lines" "$diag" >&2 || true
if ((status != 0)); then
  case "$status" in
    53) why="0xc0000135: a DLL it needs was not found" ;;
    1) why="the program's own failure, or the Wine server ending it" ;;
    *) why="status $status" ;;
  esac
  echo "wine-run.sh: ${1:-wine} ended with status $status ($why)" >&2
  if grep -a -q -E "$wine_lines" "$diag"; then
    echo "wine-run.sh: Wine said:" >&2
    grep -a -E "$wine_lines" "$diag" | head -n 40 >&2
  fi
fi
exit "$status"
