#!/usr/bin/env bash
# The long run of the real program under Wine: Quillmere.exe over a folder
# of small BMPs and JPEGs, CLICKS left clicks on its tray icon and MENUS
# popup menus (opened by a right click, then dismissed with Escape and
# "&Previous Wallpaper" in turn). Every change is checked as it happens
# against the order the list must walk; around the run the process's GUI
# object counts (where the system counts them) and resident memory are
# taken after a warm-up and at the end (growth under 1 MiB); afterwards the
# program must still answer a click and a right click and end cleanly on
# WM_CLOSE, saving its profile.
#
#   tests/e2e/long-run.sh [BUILD_DIR] [CLICKS] [MENUS]
#                         (default: build/mingw-x64, 1000, 200)
#
# Output in BUILD_DIR/long-run (or $QM_LONGRUN_OUT); the summary block, also
# printed at the end, is summary.txt there (tools/robustness-report.sh puts
# it into docs/robustness.md). Exit status 0 when every check passed.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

build="$(cd "${1:-$qm_root/build/mingw-x64}" && pwd)"
clicks="${2:-1000}"
menus="${3:-200}"
out="${QM_LONGRUN_OUT:-$build/long-run}"
if [[ -d "$out/prefix" ]]; then
  WINEPREFIX="$out/prefix" wineserver -k 2>/dev/null || true
fi
rm -rf "$out"
qm_env_init "$out" "$build"
for f in "$QM_EXE" "$QM_PROBE"; do
  [[ -f "$f" ]] || { echo "missing $f: build the mingw-x64 preset first" >&2; exit 1; }
done
started=$SECONDS
summary="$QM_OUT/summary.txt"
WALL_BMP="$WINEPREFIX/drive_c/windows/Quillmere Wallpaper.bmp"
WALL_BMP_WIN='C:\windows\Quillmere Wallpaper.bmp'
problems=()

problem() { problems+=("$*"); echo "FAIL $*"; }

# --- pictures -------------------------------------------------------------------

# Flat colours, each picture its own size: the wallpaper BMP's size fields
# then tell which JPEG was converted last, so two JPEGs in a row in the
# list are told apart without decoding anything.
declare -A COLOUR=([a.bmp]=d02020 [b.bmp]=2040d0 [c.bmp]=30b030
  [d.jpg]=f0a000 [e.jpg]=a030c0 [f.jpg]=20b0b0)
declare -A SIZE=([a.bmp]="80 60" [b.bmp]="100 75" [c.bmp]="144 108"
  [d.jpg]="96 72" [e.jpg]="112 84" [f.jpg]="128 96")

make_pictures() {
  local dir="$1" w name
  mkdir -p "$dir"
  w="$(qm_winpath "$dir")"
  for name in "${!COLOUR[@]}"; do
    local -a wh=(${SIZE[$name]})
    if [[ "$name" == *.jpg ]]; then
      qm_probe make-jpeg "$w\\$name" "${wh[0]}" "${wh[1]}" "flat:${COLOUR[$name]}" 90 || return 1
    else
      qm_probe make-bmp "$w\\$name" "${wh[0]}" "${wh[1]}" "flat:${COLOUR[$name]}" || return 1
    fi
  done
}

# --- what each change must show ---------------------------------------------------

# The rotation as the program keeps it: the next entry after the current
# one, or Previous stepping back from where the last forward move began.
cur=-1 prev=-1
model_next() {
  prev=$((cur == -1 ? 0 : cur))
  cur=$((cur < last ? cur + 1 : 0))
}
model_previous() {
  ((prev < 0 || prev > last)) && prev=$last
  cur=$prev
  prev=$((prev >= 1 ? prev - 1 : last))
}

# The 32-bit little-endian number at byte $2 of file $1.
u32_at() { od -An -tu4 -j "$2" -N 4 "$1" 2>/dev/null | tr -d ' '; }

# The wallpaper BMP is whole and holds a W x H picture: 24 bits, a file
# size that matches its header and the rows it needs.
wall_bmp_is() {  # wall_bmp_is W H
  local size stride
  size="$(stat -c %s "$WALL_BMP" 2>/dev/null)" || return 1
  stride=$((($1 * 3 + 3) / 4 * 4))
  [[ "$(head -c 2 "$WALL_BMP")" == BM ]] &&
    [[ "$(u32_at "$WALL_BMP" 18)" == "$1" && "$(u32_at "$WALL_BMP" 22)" == "$2" ]] &&
    [[ "$(u32_at "$WALL_BMP" 2)" == "$size" ]] &&
    ((size == 54 + stride * $2)) &&
    [[ "$(od -An -tu2 -j 28 -N 2 "$WALL_BMP" | tr -d ' ')" == 24 ]]
}

# Waits until the desktop shows list entry $1: the Wallpaper value names
# it (the wallpaper BMP for a JPEG, whose size fields must then be that
# JPEG's).
wait_shows() {
  local name="${order[$1]}" want
  if [[ "$name" == *.jpg ]]; then want="$WALL_BMP_WIN"; else want="$pics_w\\$name"; fi
  qm_probe wait-reg "$QM_DESKTOP_KEY" Wallpaper --equals "$want" --timeout 10000 >/dev/null ||
    return 1
  [[ "$name" == *.jpg ]] || return 0
  local -a wh=(${SIZE[$name]})
  local i
  for ((i = 0; i < 100; i++)); do
    wall_bmp_is "${wh[0]}" "${wh[1]}" && return 0
    sleep 0.1
  done
  return 1
}

# What the desktop shows when a change did not come in time, and whether
# it comes on a second wait: a late change and a lost one point to
# different faults.
shown_instead() {
  local late="nor on a second wait"
  wait_shows "$cur" && late="but it came on a second wait"
  echo "the Wallpaper value is \"$(qm_reg_data "$QM_DESKTOP_KEY" Wallpaper)\"," \
    "the wallpaper BMP $(u32_at "$WALL_BMP" 18)x$(u32_at "$WALL_BMP" 22); $late"
}

changes=0
lost=0
# One step: a left click, or a menu; $1 says which. Counts the change when
# the desktop shows what the model says it must.
step_click() {
  qm_click_icon 1
  model_next
  if wait_shows "$cur"; then
    changes=$((changes + 1))
  else
    lost=$((lost + 1))
    problem "click $1: expected ${order[$cur]}, $(shown_instead)"
    return 1
  fi
}

menus_escaped=0
menus_previous=0
step_menu() {  # step_menu N: odd N Escape, even N "&Previous Wallpaper"
  local menu
  qm_click_icon 3
  menu="$(qm_probe wait --class '#32768' --visible --timeout 8000 | qm_field hwnd)"
  if [[ -z "$menu" ]]; then
    problem "menu $1: a right click opened no popup menu"
    return 1
  fi
  if (($1 % 2)); then
    qm_probe key "$menu" 0x1B >/dev/null
  else
    qm_probe char "$menu" p >/dev/null
  fi
  if ! qm_probe wait-gone --class '#32768' --visible --timeout 5000 >/dev/null; then
    problem "menu $1: the popup menu did not close"
    return 1
  fi
  if (($1 % 2)); then
    menus_escaped=$((menus_escaped + 1))
    return 0
  fi
  menus_previous=$((menus_previous + 1))
  model_previous
  if wait_shows "$cur"; then
    changes=$((changes + 1))
  else
    lost=$((lost + 1))
    problem "menu $1 (&Previous Wallpaper): expected ${order[$cur]}, $(shown_instead)"
    return 1
  fi
}

# --- measurements -------------------------------------------------------------------

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$QM_PID/status" 2>/dev/null; }

# "GDI USER error via" for the program's process: GetGuiResources, or where
# that is a stub, qm_probe's count from inside the process.
gui_counts() { qm_probe gui-resources "$win_pid" | sed 's/[a-z]*=//g'; }

mib() { awk -v k="$1" 'BEGIN { printf "%.2f MiB", k / 1024 }'; }

# --- the run --------------------------------------------------------------------------

echo "=== setup: fresh prefix $WINEPREFIX"
qm_prefix_fresh || { echo "FAIL setup: Wine prefix"; exit 1; }
qm_display_start || { echo "FAIL setup: Xvfb"; exit 1; }
trap 'qm_teardown' EXIT
echo "     display $DISPLAY"
pics="$QM_OUT/pics"
make_pictures "$pics" || { echo "FAIL setup: pictures"; exit 1; }
pics_w="$(qm_winpath "$pics")"
mapfile -t order < <(qm_probe list-dir "$pics_w\\*.*" | sed -n 's/^name=//p' |
  grep -i -E '\.(bmp|jpg)$')
last=$((${#order[@]} - 1))
echo "     image list order: ${order[*]}"

qm_probe reg-set "$QM_CONFIG_KEY" "Directory:sz:$pics_w" AutoChange:dword:0 Display:dword:0 \
  Stretch:dword:0 Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
qm_probe reg-set "$QM_DESKTOP_KEY" TileWallpaper:sz:0 Wallpaper:sz:
qm_start
frame="$(qm_wait_frame)" || { echo "FAIL no frame window titled Quillmere"; exit 1; }
win_pid="$(qm_probe find --title Quillmere | grep -v 'class=#32770' | qm_field pid)"
if ! tr '\0' ' ' <"/proc/$QM_PID/cmdline" | grep -q -i 'quillmere\.exe'; then
  echo "FAIL process $QM_PID is not the one running Quillmere.exe"
  exit 1
fi
# The icon must be up before the first click.
qm_poll 15 qm_icon_drawn || { echo "FAIL the tray icon is not drawn"; exit 1; }
echo "     frame $frame, Windows pid $win_pid, Linux pid $QM_PID"

# A menu after every EVERY clicks; the warm-up is the first tenth of the
# clicks (at most 50) with their menus.
every=$((menus > 0 ? (clicks + menus - 1) / menus : clicks + 1))
warm=$((clicks / 10 < 50 ? clicks / 10 : 50))
((warm > 0)) || warm=1
menu_n=0
rss_series=()
run_t0=$SECONDS
for ((i = 1; i <= clicks; i++)); do
  step_click "$i" || break
  if ((i % every == 0 && menu_n < menus)); then
    menu_n=$((menu_n + 1))
    step_menu "$menu_n" || break
  fi
  if ((i == warm)); then
    # Counted first: the count from inside the program maps its DLL and
    # reads the handle tables once, pages that then stay resident.
    read -r gdi_warm user_warm err_warm via_warm < <(gui_counts)
    rss_warm="$(rss_kib)"
    warm_menus=$menu_n
    warm_t=$SECONDS
    echo "     after warm-up ($i clicks, $menu_n menus): resident $(mib "$rss_warm"), GUI objects gdi=$gdi_warm user=$user_warm error=$err_warm ($via_warm)"
  fi
  if ((i % 100 == 0)); then
    rss_series+=("$(rss_kib)")
    echo "     $i clicks, $menu_n menus, $changes changes: resident $(mib "${rss_series[-1]}")"
  fi
done
# Menus left over when CLICKS is small.
while ((${#problems[@]} == 0 && menu_n < menus)); do
  menu_n=$((menu_n + 1))
  step_menu "$menu_n" || break
done
run_s=$((SECONDS - run_t0))
loop_s=$((SECONDS - ${warm_t:-$run_t0}))
rss_end="$(rss_kib)"
read -r gdi_end user_end err_end via_end < <(gui_counts)

# --- still answering ------------------------------------------------------------------

after=()
if ((${#problems[@]} == 0)); then
  if step_click final; then after+=("a click changed the wallpaper"); fi
  qm_click_icon 3
  menu="$(qm_probe wait --class '#32768' --visible --timeout 8000 | qm_field hwnd)"
  if [[ -n "$menu" ]]; then
    qm_probe key "$menu" 0x1B >/dev/null
    qm_probe wait-gone --class '#32768' --visible --timeout 5000 >/dev/null &&
      after+=("the menu opened and closed")
  else
    problem "after the run a right click opened no menu"
  fi
  # The last picture is on the screen, centred.
  qm_mouse_away
  qm_shot "$QM_OUT/end.png"
  if qm_poll 8 qm_pixel_near "$QM_OUT/end.png" $((QM_SCREEN_W / 2)) $((QM_SCREEN_H / 2)) \
    "${COLOUR[${order[$cur]}]}" 16; then
    after+=("the screen shows ${order[$cur]}")
  else
    # One more look: the repaint may have come after the first shot.
    qm_shot "$QM_OUT/end.png"
    qm_pixel_near "$QM_OUT/end.png" $((QM_SCREEN_W / 2)) $((QM_SCREEN_H / 2)) \
      "${COLOUR[${order[$cur]}]}" 16 && after+=("the screen shows ${order[$cur]}") ||
      problem "the screen does not show ${order[$cur]} (centre pixel $(qm_pixel "$QM_OUT/end.png" 400 300))"
  fi
  # WM_CLOSE saves the profile: an outside change to Time is put back.
  qm_probe reg-set "$QM_CONFIG_KEY" Time:dword:99
  qm_probe close "$frame"
  # Waited for here rather than by qm_wait_exit, to keep its exit status.
  end=$((SECONDS + 20))
  while kill -0 "$QM_PID" 2>/dev/null && ((SECONDS < end)); do sleep 0.1; done
  if ! kill -0 "$QM_PID" 2>/dev/null; then
    wait "$QM_PID" 2>/dev/null
    exit_rc=$?
    QM_PID=
    time_now="$(qm_reg_data "$QM_CONFIG_KEY" Time)"
    values="$(qm_probe reg "$QM_CONFIG_KEY" | grep -c '^name=')"
    if [[ "$time_now" == 20 && "$values" == 11 ]]; then
      after+=("WM_CLOSE ended it with the profile saved (eleven values, Time back to 20)")
    else
      problem "after WM_CLOSE the profile holds $values values, Time $time_now"
    fi
  else
    problem "WM_CLOSE did not end the program within 20 s"
  fi
fi

# --- summary ----------------------------------------------------------------------------

gui_line() {  # gui_line KIND WARM END ERR_WARM ERR_END
  if [[ "$4" != 0 || "$5" != 0 || ("$2" == 0 && "$3" == 0) ]]; then
    echo "not available here (GetGuiResources returned $2, error $4, and no count from inside)"
  else
    echo "$2 after warm-up, $3 at end (difference $(($3 - $2)); ${via_end:-?})"
  fi
}

# Flat: a leak of one object a menu or a click would show as hundreds; two
# allow for a cache the system fills late.
gui_flat() {  # gui_flat KIND WARM END
  [[ "$2" =~ ^[0-9]+$ && "$3" =~ ^[0-9]+$ ]] || return 0
  (($3 - $2 <= 2)) || problem "$1 objects grew from $2 to $3 after the warm-up"
}

expected=$((clicks + menus / 2 + 1))
growth=$(( ${rss_end:-0} - ${rss_warm:-0} ))
series=""
for k in "${rss_series[@]}"; do series+=" $(awk -v k="$k" 'BEGIN { printf "%.1f", k / 1024 }')"; done
# The same bound as the core's long run: after the warm-up, growth under
# 1 MiB.
((growth < 1024)) || problem "resident memory grew by $growth KiB after the warm-up"
if [[ "${err_warm:-1}" == 0 && "${err_end:-1}" == 0 ]]; then
  gui_flat GDI "$gdi_warm" "$gdi_end"
  gui_flat USER "$user_warm" "$user_end"
fi
result=ok
((${#problems[@]} == 0)) || result="FAILED: ${problems[0]}"
{
  echo "program            $(basename "$QM_EXE") under $("$QM_WINE" --version 2>/dev/null) ($(basename "$QM_WINE")), Xvfb, 800x600 virtual desktop"
  echo "pictures           ${#order[@]} (3 BMP, 3 JPEG), list order ${order[*]}"
  echo "left clicks        $clicks on the tray icon (xdotool)"
  echo "popup menus        $menu_n by right click ($menus_escaped closed with Escape, $menus_previous \"&Previous Wallpaper\")"
  echo "changes            $changes observed of $expected (the final click included), each the entry the order requires; $lost missing"
  echo "GDI objects        $(gui_line gdi "${gdi_warm:-?}" "${gdi_end:-?}" "${err_warm:-?}" "${err_end:-?}")"
  echo "USER objects       $(gui_line user "${user_warm:-?}" "${user_end:-?}" "${err_warm:-?}" "${err_end:-?}")"
  echo "resident after warm-up ($warm clicks, ${warm_menus:-0} menus)  $(mib "${rss_warm:-0}")"
  echo "resident at end    $(mib "${rss_end:-0}")"
  echo "growth             $( ((growth >= 0)) && echo +)$growth KiB"
  echo "resident every 100 clicks (MiB):$series"
  echo "afterwards         $(IFS=';'; echo "${after[*]:-not checked}" | sed 's/;/; /g')"
  echo "exit status        ${exit_rc:-none}"
  echo "time               $run_s s for the clicks and menus ($(awk -v n="$((changes))" -v s="$run_s" 'BEGIN { printf "%.1f", s ? n / s : 0 }') changes/s), $((SECONDS - started)) s in all"
  echo "result             $result"
} >"$summary"
echo "=== long run summary"
cat "$summary"
[[ "$result" == ok ]]
