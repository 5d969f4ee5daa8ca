#!/usr/bin/env bash
# Prepares a fresh Debian 12 machine to build and test Quillmere: compilers,
# Wine (32-bit too where the kernel runs 32-bit programs), the cross-built
# libjpeg, zlib, libpng and libwebp for both Windows targets and the Wine prefix the Windows tests run
# in. Run as root; safe to run again.
#   tools/setup.sh --linux    the packages only: enough for the Linux program
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-lib.sh"

packages=(
  # Linux build and tests
  cmake ninja-build ccache g++ clang libgtest-dev googletest libbenchmark-dev libjpeg62-turbo-dev
  # PNG and WebP decoding, and the decoders the conversion is checked
  # against: pngtopnm, dwebp (with cwebp and img2webp, which make the test
  # pictures) and Python's PIL
  libpng-dev libwebp-dev netpbm webp python3-pil
  # Linux desktops: Qt (QtDBus, QImage), GIO's GSettings, xcb for the root
  # window (shared memory, RandR and Xinerama monitors, X-Resource for the
  # clients' windows); Xlib and X-Resource for the tests' own checks
  qt6-base-dev libglib2.0-dev pkg-config libx11-dev libxres-dev
  libxcb-shm0-dev libxcb-randr0-dev libxcb-xinerama0-dev libxcb-res0-dev
  # ... the root window's several monitors in tests: a nested X server
  xserver-xephyr
  # ... and their tests' daemons and schemas, on a private session bus
  dbus-daemon libglib2.0-bin dconf-service dconf-gsettings-backend gsettings-desktop-schemas
  mate-desktop-common cinnamon-desktop-data xfconf
  # The Linux program (Qt widgets, the tray's X selection and its XFixes
  # owner notices) and its end-to-end tests: tray hosts, a window manager,
  # X tools, the install check
  libxcb1-dev libxcb-xfixes0-dev trayer xfce4-panel openbox x11-utils x11-xserver-utils xclip xrestop
  desktop-file-utils
  # Wayland: Qt's Wayland platform, which the program uses in a Wayland
  # session; sway, its background helper, grim and waybar (a tray host) for
  # the sway tests; LXQt's and LXDE's desktop programs for theirs
  qt6-wayland sway swaybg grim waybar pcmanfm-qt pcmanfm
  # The Debian package: its checks (lintian, AppStream, the man page) and the
  # clean Debian 12 root it is installed in by its test
  lintian appstream man-db mmdebstrap
  # The real desktop shells the end-to-end suites start: GNOME Shell 43 with
  # the AppIndicator extension (the program a Wayland client there), Plasma
  # 5.27 (the shell, its desktop and panel, the activity daemon it needs),
  # and XFCE's desktop, which draws the xfconf picture
  gnome-shell gnome-shell-extension-appindicator qt6-wayland
  plasma-workspace plasma-desktop kactivitymanagerd
  xfdesktop4
  # Fuzzing: libFuzzer and the sanitizer runtimes for clang 14
  libclang-rt-14-dev
  # Windows cross build (posix-threads compilers: GoogleTest needs them)
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-tools nasm
  # libjpeg source package unpacking
  dpkg-dev
  # Running and driving Windows programs
  wine64 libwine fonts-wine xvfb xdotool imagemagick libjpeg-turbo-progs time
  # Checking the release zip; making and reading the Windows Installer packages
  unzip wixl msitools
)
# The 32-bit program needs 32-bit Wine beside wine64, which only a kernel
# that runs 32-bit programs can use.
run32=0
if qm_kernel_runs_32bit; then
  run32=1
  packages+=(wine32:i386 wine)
else
  echo "setup: no 32-bit Wine: $QM_NO_32BIT"
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  if ((run32)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

[[ "${1:-}" == --linux ]] && exit 0

bash "$root/tools/build-libjpeg-mingw.sh" x64
bash "$root/tools/build-libjpeg-mingw.sh" i686
bash "$root/tools/build-imagelibs-mingw.sh" x64
bash "$root/tools/build-imagelibs-mingw.sh" i686

prefix="$root/build/wineprefix"
if ((run32)) && [[ -f "$prefix/system.reg" ]] && ! qm_prefix_has_32bit "$prefix"; then
  # Made while 32-bit Wine was missing: its syswow64 is empty for good.
  echo "setup: the Wine prefix $prefix cannot run 32-bit programs; making it again"
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
if [[ ! -f "$prefix/system.reg" ]]; then
  mkdir -p "$prefix"
  # wine64 makes both halves when 32-bit Wine is there.
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$QM_WINE64" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
fi
if ((run32)) && ! qm_prefix_has_32bit "$prefix"; then
  echo "setup: the new Wine prefix $prefix still has no 32-bit half (is wine32:i386 working?)" >&2
  exit 1
fi
