#!/usr/bin/env bash
# Regenerates the README's pictures of the native Linux program from its
# end-to-end run: the popup menu in trayer (the program's own) and in
# xfce4-panel (drawn by the panel from the exported menu), the settings
# dialog and the about box, and the menu over a changed wallpaper on the
# real GNOME Shell and Plasma, each over a photo-like wallpaper, and two
# monitors with a photo each on the bare root. Writes
# docs/screenshots/linux-*.png.
#
#   tools/screenshots-linux.sh [BUILD_DIR]     (default build/linux, built here)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-$root/build/linux}"
cmake --preset linux >/dev/null
cmake --build "$build" --target quillmere
cmake --build "$build" --target make-photo-jpeg
export QL_README_SHOTS=1
QL_E2E_PHASES="menu readme" QL_E2E_TIMER=0 bash tests/e2e-linux/run-e2e.sh "$build"
QL_E2E_HOSTS="gnome plasma" QL_E2E_PHASES=readme bash tests/e2e-linux/run-e2e.sh "$build"
shots="$build/e2e-linux"
dest="$root/docs/screenshots"
cp "$shots/trayer/readme-menu.png" "$dest/linux-menu.png"
cp "$shots/xfce/readme-menu.png" "$dest/linux-menu-xfce.png"
cp "$shots/trayer/readme-two-monitors.png" "$dest/linux-two-monitors.png"
cp "$shots/trayer/settings.png" "$dest/linux-settings.png"
cp "$shots/trayer/about.png" "$dest/linux-about.png"
cp "$shots/gnome/readme-menu.png" "$dest/linux-gnome.png"
cp "$shots/plasma/readme-menu.png" "$dest/linux-plasma.png"
echo "Wrote $dest/linux-{menu,menu-xfce,two-monitors,settings,about,gnome,plasma}.png"
