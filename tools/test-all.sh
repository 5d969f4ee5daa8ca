#!/usr/bin/env bash
# Everything a change must pass: set up the machine, then build and test the
# Linux, sanitizer and both Windows builds (their tests and the end-to-end
# suite under Wine), make and check every release (both zips, the Debian
# package, which is then installed in a clean root). A machine that cannot run 32-bit programs builds the
# 32-bit program and says in the summary why its tests did not run.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source tools/wine-lib.sh

bash tools/setup.sh

# A compiler cache: a machine that has built these sources before (a
# developer's tree, an earlier run) builds them again in minutes, whatever
# folder the clone is in.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$root"

export WINEPREFIX="$root/build/wineprefix"
run32=1
qm_wine_runs_32bit || run32=0

# One Wine server for the whole run instead of one per test program; ended
# when this script ends, however it ends. The first program started in a
# session also starts Wine's background services, which keep its standard
# handles open: start them here on /dev/null, or they hold ctest's output
# pipe open and test discovery never sees the end of its listing.
WINEDEBUG=-all wineserver -p
# ... which ctest's own fixture (cmake/wine-server.sh) then leaves alone.
export QM_WINESERVER_HELD=1
trap 'wineserver -k 2>/dev/null || true' EXIT
cmake/wine-run.sh cmd /c exit </dev/null >/dev/null 2>&1

tested=(linux linux-asan mingw-x64)
((run32)) && tested+=(mingw-i686)
for preset in "${tested[@]}"; do
  echo "=== $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  jobs="$(nproc)"
  # Every test under Wine is a process of several threads: at most four at
  # once.
  [[ "$preset" == mingw-* ]] && jobs=$(( jobs < 4 ? jobs : 4 ))
  ctest --preset "$preset" -j"$jobs" 2>&1 | tee "build/$preset-ctest.log"
done

if ((!run32)); then
  echo "=== mingw-i686 (build only: $QM_NO_32BIT)"
  cmake --preset mingw-i686
  cmake --build --preset mingw-i686
fi

echo "=== releases: the win32 and win64 zips (cpack) and the Debian package, contents checked"
bash tools/release.sh 2>&1 | tee build/release.log

# One after the other: each has its own prefix and display, but the timer
# and screenshot checks want the machine's attention.
e2e_builds=(mingw-x64)
((run32)) && e2e_builds+=(mingw-i686)
for build in "${e2e_builds[@]}"; do
  echo "=== end-to-end: $build's Quillmere.exe under Wine on a display of its own"
  bash tests/e2e/run-e2e.sh "build/$build" 2>&1 | tee "build/$build-e2e.log"
done
echo "=== end-to-end: the Linux program with trayer and with xfce4-panel"
bash tests/e2e-linux/run-e2e.sh build/linux 2>&1 | tee build/e2e-linux.log
echo "=== end-to-end: the Linux program as a Wayland client in waybar on headless sway"
bash tests/e2e-linux/sway.sh build/linux build/e2e-sway 2>&1 | tee build/e2e-sway.log
echo "=== Debian package (made by tools/release.sh) installed in a clean Debian 12 root"
# The bootstrapped root and the downloaded packages outlive the build folder
# (a CI run starts from a fresh clone), so later runs on the machine reuse
# them.
QM_DEB_CACHE=/var/cache/quillmere-deb-test bash tests/deb/clean-root.sh \
  2>&1 | tee build/deb.log
# The real shells: a failure is in the summary, and the run's status, but
# does not stop the steps after it.
shells_failed=()
echo "=== end-to-end: the Linux program on the real GNOME Shell 43 (headless Wayland)"
QL_E2E_HOSTS=gnome bash tests/e2e-linux/run-e2e.sh build/linux 2>&1 | tee build/e2e-gnome.log ||
  shells_failed+=(gnome)
echo "=== end-to-end: the Linux program on the real Plasma 5.27 shell (Xvfb, openbox)"
QL_E2E_HOSTS=plasma bash tests/e2e-linux/run-e2e.sh build/linux 2>&1 | tee build/e2e-plasma.log ||
  shells_failed+=(plasma)
echo "=== fuzz (smoke: 20 s a target)"
bash fuzz/run.sh 20 2>&1 | tee build/fuzz-smoke.log

echo "=== summary"
for preset in "${tested[@]}"; do
  printf '%-11s ' "$preset"
  grep -E 'tests passed' "build/$preset-ctest.log" || true
done
for build in "${e2e_builds[@]}"; do
  printf 'e2e %-11s %s\n' "$build" \
    "$(sed -n 's/^=== e2e: //p' "build/$build-e2e.log" | grep . || echo 'no result line')"
done
((run32)) || echo "mingw-i686: not run: $QM_NO_32BIT; built only"
grep -E '^(release|deb): ' build/release.log || true
grep -E '^e2e-linux' build/e2e-linux.log build/e2e-gnome.log build/e2e-plasma.log -h || true
printf 'e2e-sway: %s ok, %s failed\n' "$(grep -c '^ok ' build/e2e-sway/results.txt 2>/dev/null)" \
  "$(grep -c '^FAIL ' build/e2e-sway/results.txt 2>/dev/null)"
grep -E '^deb-clean-root: ' build/deb.log || true
grep -E '^(target|decode|wallpaper_bmp|style_bmp|settings|image_list|png|webp|compose) ' build/fuzz-smoke.log || true
if ((${#shells_failed[@]})); then
  echo "end-to-end on the real shells failed: ${shells_failed[*]}"
  exit 1
fi
