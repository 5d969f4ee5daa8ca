#!/usr/bin/env bash
# Prepares a fresh Debian 12 machine to build and test Quillmere: compilers,
# Wine, the cross-built libjpeg for both Windows targets and the Wine prefix
# the Windows tests run in. Run as root; safe to run again.
#   tools/setup.sh --linux    the packages only: enough for the Linux program
set -euo pipefail
# Debian's wine64 keeps wine64 and wineserver here, off the PATH.
export PATH="/usr/lib/wine:$PATH"

root="$(cd "$(dirname "$0")/.." && pwd)"

packages=(
  # Linux build and tests
  cmake ninja-build g++ clang libgtest-dev googletest libbenchmark-dev libjpeg62-turbo-dev
  # Linux desktops: Qt (QtDBus, QImage), GIO's GSettings, Xlib
  qt6-base-dev libglib2.0-dev pkg-config libx11-dev libxres-dev
  # ... and their tests' daemons and schemas, on a private session bus
  dbus-daemon libglib2.0-bin dconf-service dconf-gsettings-backend gsettings-desktop-schemas
  mate-desktop-common cinnamon-desktop-data xfconf
  # The Linux program (Qt widgets, the tray's X selection) and its end-to-end
  # tests: tray hosts, a window manager, X tools, the install check
  libxcb1-dev trayer xfce4-panel openbox x11-utils x11-xserver-utils xclip xrestop
  desktop-file-utils
  # Fuzzing: libFuzzer and the sanitizer runtimes for clang 14
  libclang-rt-14-dev
  # Windows cross build (posix-threads compilers: GoogleTest needs them)
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-tools nasm
  # libjpeg source package unpacking
  dpkg-dev
  # Running and driving Windows programs (64-bit only on this kernel)
  wine64 libwine fonts-wine xvfb xdotool imagemagick libjpeg-turbo-progs time
  # Checking the release zip
  unzip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

[[ "${1:-}" == --linux ]] && exit 0

bash "$root/tools/build-libjpeg-mingw.sh" x64
bash "$root/tools/build-libjpeg-mingw.sh" i686

prefix="$root/build/wineprefix"
if [[ ! -f "$prefix/system.reg" ]]; then
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
fi
