#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own Wine prefix
# (build/wineprefix), creating the prefix on first use: a 32-bit program
# with the 32-bit loader, anything else with wine64. CMake uses this as the
# cross-compiling emulator, so ctest and test discovery go through it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/wine-lib.sh"
export WINEPREFIX="${QM_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
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
exec "$wine" "$@"
