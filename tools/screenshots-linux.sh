#!/usr/bin/env bash
# Regenerates the README's pictures of the native Linux program from its
# end-to-end run: the popup menu in trayer (the program's own) and in
# xfce4-panel (drawn by the panel from the exported menu), the settings
# dialog and the about box, and the menu over a changed wallpaper on the
# real GNOME Shell and Plasma. Writes docs/screenshots/linux-*.png.
#
#   tools/screenshots-linux.sh [BUILD_DIR]     (default build/linux, built here)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-$root/build/linux}"
cmake --preset linux >/dev/null
cmake --build "$build" --target quillmere
QL_E2E_PHASES=menu QL_E2E_TIMER=0 bash tests/e2e-linux/run-e2e.sh "$build"
QL_E2E_HOSTS=gnome QL_E2E_PHASES=layouts bash tests/e2e-linux/run-e2e.sh "$build"
QL_E2E_HOSTS=plasma QL_E2E_PHASES=menu bash tests/e2e-linux/run-e2e.sh "$build"
shots="$build/e2e-linux"
dest="$root/docs/screenshots"
cp "$shots/trayer/menu.png" "$dest/linux-menu.png"
cp "$shots/xfce/menu.png" "$dest/linux-menu-xfce.png"
cp "$shots/trayer/settings.png" "$dest/linux-settings.png"
cp "$shots/trayer/about.png" "$dest/linux-about.png"
cp "$shots/gnome/menu.png" "$dest/linux-gnome.png"
cp "$shots/plasma/menu.png" "$dest/linux-plasma.png"
echo "Wrote $dest/linux-{menu,menu-xfce,settings,about,gnome,plasma}.png"
