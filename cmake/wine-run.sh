#!/usr/bin/env bash
# Runs a Windows program under wine64 in the project's own Wine prefix
# (build/wineprefix), creating the prefix on first use. CMake uses this as
# the cross-compiling emulator, so ctest and test discovery go through it.
set -euo pipefail
# Debian's wine64 keeps wine64 and wineserver here, off the PATH.
export PATH="/usr/lib/wine:$PATH"

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${QM_WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine=/usr/lib/wine/wine64
if [[ ! -x "$wine" ]]; then
  wine="$(command -v wine64)"
fi

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  # Serialise creation: ctest may start several tests at once.
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    "$wine" wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  exec 9>&-
fi

exec "$wine" "$@"
