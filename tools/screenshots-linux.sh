#!/usr/bin/env bash
# Regenerates the README's pictures of the native Linux program from its
# end-to-end run: the popup menu in trayer (the program's own) and in
# xfce4-panel (drawn by the panel from the exported menu), the settings
# dialog and the about box. Writes docs/screenshots/linux-*.png.
#
#   tools/screenshots-linux.sh [BUILD_DIR]     (default build/linux, built here)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-$root/build/linux}"
cmake --preset linux >/dev/null
cmake --build "$build" --target quillmere
QL_E2E_PHASES=menu QL_E2E_TIMER=0 bash tests/e2e-linux/run-e2e.sh "$build"
shots="$build/e2e-linux"
dest="$root/docs/screenshots"
cp "$shots/trayer/menu.png" "$dest/linux-menu.png"
cp "$shots/xfce/menu.png" "$dest/linux-menu-xfce.png"
cp "$shots/trayer/settings.png" "$dest/linux-settings.png"
cp "$shots/trayer/about.png" "$dest/linux-about.png"
echo "Wrote $dest/linux-{menu,menu-xfce,settings,about}.png"
