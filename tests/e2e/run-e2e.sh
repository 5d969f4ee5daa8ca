#!/usr/bin/env bash
# End-to-end tests of the real program: Quillmere.exe under Wine (32-bit
# or 64-bit, as the build is), in a fresh Wine prefix, on an Xvfb display of
# our own, driven the way a user would (xdotool clicks on the tray icon, keys
# to the popup menu, buttons of the dialogs) and checked through the
# registry, the files, the windows and screenshot pixels. The helper
# tests/e2e/qm_probe.exe of the same build does the looking.
#
#   tests/e2e/run-e2e.sh [BUILD_DIR]      (default: build/mingw-x64)
#
# Output in BUILD_DIR/e2e (or $QM_E2E_OUT): logs, screenshots, and for a
# failed step fail-<n>.png (the desktop) and fail-<n>.txt (profile, desktop
# key, window list). Exit status 0 when every step passed.
set -uo pipefail

# Every Wine start without address randomisation, as cmake/wine-run.sh does
# it: now and then the kernel placed something where Wine maps its shared
# user data, and the program or helper never started. The personality is
# inherited by everything this script starts.
if [[ -z "${QM_E2E_NO_ASLR:-}" ]]; then
  QM_E2E_NO_ASLR=1 exec setarch "$(uname -m)" -R bash "$0" "$@"
fi

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

build="$(cd "${1:-$qm_root/build/mingw-x64}" && pwd)"
out="${QM_E2E_OUT:-$build/e2e}"
if [[ -d "$out/prefix" ]]; then
  WINEPREFIX="$out/prefix" wineserver -k 2>/dev/null || true
fi
rm -rf "$out"
qm_env_init "$out" "$build"
for f in "$QM_EXE" "$QM_PROBE"; do
  [[ -f "$f" ]] || { echo "missing $f: build the preset of $build first" >&2; exit 1; }
done
results="$QM_OUT/results.txt"
: >"$results"
started=$SECONDS

MSG_NO_IMAGES="Change the Settings to a Directory that Contains Images"
WALL_BMP_WIN='C:\windows\Quillmere Wallpaper.bmp'

# --- reporting ----------------------------------------------------------------

phase=setup probe_mark=0

dump_state() {
  local base="$1"
  qm_mouse_away >/dev/null 2>&1
  qm_shot "$base.png" 2>/dev/null
  {
    echo "== profile $QM_CONFIG_KEY"
    qm_probe reg "$QM_CONFIG_KEY" 2>&1
    echo "== desktop $QM_DESKTOP_KEY (wallpaper values)"
    qm_probe reg "$QM_DESKTOP_KEY" 2>&1 | grep -i -E 'wall|tile'
    echo "== top-level windows"
    qm_probe windows 2>&1 | grep -v -E 'class=(IME|WineDdeServerName|WineDdeEventClass) '
  } >"$base.txt"
}

# Ends the current phase (each runs in a subshell) after saving the state.
fail() {
  local n
  n=$(($(grep -c . "$results") + 1))
  echo "FAIL $phase: $*" | tee -a "$results"
  # What the helper and Wine said in this phase: a helper that did not
  # start, or failed, leaves only this.
  tail -n +"$((probe_mark + 1))" "$QM_OUT/probe.stderr" 2>/dev/null | tail -n 8 | sed 's/^/     probe: /'
  dump_state "$QM_OUT/fail-$n"
  echo "     state saved as $QM_OUT/fail-$n.png and fail-$n.txt"
  exit 1
}

pass() { echo "ok   $phase: $*" | tee -a "$results" >/dev/null; echo "ok   $phase: $*"; }

# check "what" command...: the command must succeed.
check() {
  local what="$1"
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

run_phase() {
  phase="$1"
  shift
  # QM_E2E_PHASES="a b": only those phases.
  [[ -z "${QM_E2E_PHASES:-}" || " $QM_E2E_PHASES " == *" $phase "* ]] || return 0
  echo "=== $phase"
  probe_mark="$(cat "$QM_OUT/probe.stderr" 2>/dev/null | wc -l)"
  (
    trap 'qm_stop' EXIT
    "$@"
  )
  local rc=$?
  if ((rc != 0)) && ! tail -n 1 "$results" | grep -q "^FAIL $phase"; then
    echo "FAIL $phase: ended early (status $rc)" | tee -a "$results"
  fi
  # Whatever the phase left open goes with its program.
  qm_probe wait-gone --title Quillmere --timeout 5000 >/dev/null 2>&1
  no_crash
}

# A process that crashes under Wine starts Wine's debugger, which puts up a
# "Program Error" box and holds the process until the box is closed. Any
# process of this prefix, the program or a helper, may be the one, also one
# that no check waits for (a program ended by force, a helper in the
# background): so after every phase, no debugger and no such box may be
# there. A crash fails the phase that was running; its box is closed, which
# ends the crashed process, so the next phase starts clean.
no_crash() {
  local boxes debuggers
  # The debugger starts at once; its box takes a moment.
  debuggers="$(qm_winedbg_pids)"
  [[ -z "$debuggers" ]] || sleep 2
  boxes="$(qm_probe find --title 'Program Error' 2>/dev/null | qm_field_all hwnd)"
  [[ -z "$boxes$debuggers" ]] && return 0
  local n box what=""
  for box in $boxes; do
    what+="$(qm_probe children "$box" | sed -n 's/.*text=\(.*serious problem.*\)/\1/p' |
      sed 's/\\n.*//') "
  done
  what="${what% }"
  [[ -n "$what" ]] || what="Wine's \"Program Error\" box is up"
  local p
  for p in $debuggers; do
    what+="; debugger: $(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null | sed 's/ *$//')"
  done
  n=$(($(grep -c . "$results") + 1))
  echo "FAIL $phase: a process crashed: ${what% }" | tee -a "$results"
  dump_state "$QM_OUT/fail-$n"
  echo "     state saved as $QM_OUT/fail-$n.png and fail-$n.txt"
  for box in $boxes; do qm_probe close "$box" >/dev/null 2>&1; done
  qm_poll 10 test -z "$(qm_winedbg_pids)"
}

# --- predicates ---------------------------------------------------------------

# reg_is KEY NAME TYPE DATA: the value exists with that type and data
# (data compared without regard to case: paths).
reg_is() {
  local line
  line="$(qm_probe reg "$1" "$2" 2>/dev/null)" || return 1
  [[ "$line" == *" type=$3 "* ]] || return 1
  local data="${line#* data=}"
  [[ "${data,,}" == "${4,,}" ]]
}

wallpaper() { qm_reg_data "$QM_DESKTOP_KEY" Wallpaper; }
desktop_values() { qm_probe reg "$QM_DESKTOP_KEY" | grep -i -E '^name=(wallpaper|tilewallpaper|wallpaperstyle) '; }

wait_wallpaper() {  # wait_wallpaper PATH [SECONDS]
  qm_probe wait-reg "$QM_DESKTOP_KEY" Wallpaper --equals "$1" --timeout "$((${2:-10} * 1000))" >/dev/null
}

hwnd_alive() { qm_probe windows | grep -q "hwnd=$1 "; }

ctrl_text_is() { [[ "$(qm_probe text "$1" "$2" | sed 's/^text=//')" == "$3" ]]; }
ctrl_checked() { [[ "$(qm_probe checked "$1" "$2" | qm_field checked)" == "$3" ]]; }
ctrl_enabled() { [[ "$(qm_probe enabled "$1" "$2" | qm_field enabled)" == "$3" ]]; }
ctrl_cursel() { [[ "$(qm_probe cursel "$1" "$2" | qm_field cursel)" == "$3" ]]; }
updown_is() {  # updown_is DLG ID POS MIN MAX
  local line
  line="$(qm_probe udpos "$1" "$2")"
  [[ "$line" == "pos=$3 min=$4 max=$5" ]]
}

# Waits for a window; prints its hwnd.
wait_hwnd() { qm_probe wait "$@" | qm_field hwnd; }

# The colour check of a screenshot: every "X Y RRGGBB" triple matches,
# polled until the desktop has repainted.
screen_shows() {
  local name="$1"
  shift
  local shot="$QM_OUT/$name.png" end=$((SECONDS + 8))
  qm_mouse_away
  while :; do
    qm_shot "$shot"
    local ok=1 i
    for ((i = 1; i <= $#; i += 3)); do
      local x="${!i}" yi=$((i + 1)) ci=$((i + 2))
      local y="${!yi}" c="${!ci}"
      if [[ "$c" == !* ]]; then
        qm_pixel_near "$shot" "$x" "$y" "${c#!}" 40 && { ok=0; break; }
      else
        qm_pixel_near "$shot" "$x" "$y" "$c" 14 || { ok=0; break; }
      fi
    done
    ((ok)) && return 0
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

icon_drawn() { qm_poll 8 qm_icon_drawn; }
not_icon_drawn() { ! qm_icon_drawn; }
no_window() { ! qm_probe find "$@" >/dev/null 2>&1; }
has_window() { qm_probe find "$@" >/dev/null 2>&1; }
no_window_key() { ! qm_probe reg "$QM_CONFIG_KEY" >/dev/null 2>&1; }
no_value() { ! qm_probe reg "$1" "$2" >/dev/null 2>&1; }
# The program's manifest in force: the side-by-side Common Controls 6 is
# the one loaded, not the system folder's version 5.
uses_comctl6() {
  qm_probe modules "$1" | tr -d '\r' | grep -qiE '^path=.*\\winsxs\\[^\\]*common-controls_6595b64144ccf1df_6\.[^\\]*\\comctl32\.dll$'
}

# --- the program's pieces -----------------------------------------------------

open_menu() {  # opens the popup menu with a right click; prints its hwnd
  qm_click_icon 3
  wait_hwnd --class '#32768' --visible --timeout 8000
}

# menu_rows MENU NAME: a picture of the open menu (pointer away, tooltips
# gone) and its rows.
menu_rows() {
  local menu="$1" name="$2" rect
  qm_mouse_away
  qm_poll 8 qm_tooltips_hidden
  rect="$(qm_probe find --class '#32768' --visible | qm_field rect)"
  IFS=, read -r l t r b <<<"$rect"
  qm_shot "$QM_OUT/.menu-desktop.png"
  convert "$QM_OUT/.menu-desktop.png" -crop "$((r - l))x$((b - t))+$l+$t" +repage "$QM_OUT/$name.png"
  qm_menu_rows "$QM_OUT/$name.png" >"$QM_OUT/$name.rows"
  cat "$QM_OUT/$name.rows"
}

# The menu's layout: eight items, separators at 3 and 5, "&Previous
# Wallpaper" drawn bold (more ink per letter than the regular items), and
# exactly one of Tile (row 1) and Center (row 2) enabled: $2 says which.
menu_layout_ok() {
  local rows="$1" enabled="$2"
  local kinds
  kinds="$(sed -n 's/.*kind=\([a-z]*\).*/\1/p' "$rows" | tr '\n' ' ')"
  [[ "$kinds" == "text text text separator text separator text text " ]] || return 1
  dark() { sed -n "$(($1 + 1))p" "$rows" | qm_field dark; }
  local tile center
  tile="$(dark 1)" center="$(dark 2)"
  if [[ "$enabled" == tile ]]; then ((tile > 0 && center == 0)) || return 1
  else ((center > 0 && tile == 0)) || return 1; fi
  # "Previous Wallpaper" 18 letters, "Tile Current Paper" 18, "Settings" 8.
  local prev settings
  prev="$(dark 0)" settings="$(dark 4)"
  ((prev * 8 * 10 > settings * 18 * 12))
}

menu_pick() {  # menu_pick MENU LETTER: the item's access key
  qm_probe char "$1" "$2" >/dev/null && qm_probe wait-gone --class '#32768' --visible --timeout 5000
}

# refuse DLG "what" ID VALUE [ID VALUE...] -- EXPECTED: OK with these texts
# brings a message box over the dialog naming EXPECTED; the dialog stays.
refuse() {
  local dlg="$1" what="$2"
  shift 2
  local -a saved=()
  while [[ "$1" != -- ]]; do
    saved+=("$1" "$(qm_probe text "$dlg" "$1" | sed 's/^text=//')")
    qm_probe settext "$dlg" "$1" "$2"
    shift 2
  done
  local expected="$2" box text
  qm_probe click "$dlg" 1
  box="$(wait_hwnd --class '#32770' --owner "$dlg" --visible --timeout 8000)"
  [[ -n "$box" ]] || fail "$what: no message box after OK"
  text="$(qm_probe text "$box" 0xffff | sed 's/^text=//')"
  echo "     message: $text"
  [[ "$text" == *"$expected"* ]] || fail "$what: message box says \"$text\", expected it to name \"$expected\""
  [[ "$(qm_probe text "$box" | sed 's/^text=//')" == Quillmere ]] || fail "$what: message box caption"
  qm_click_box "$box" 1 || fail "$what: the message box took no input ($(qm_input_state "$box"))"
  qm_probe wait-hwnd-gone "$box" --timeout 5000 ||
    fail "$what: message box did not close ($(qm_input_state "$box"))"
  hwnd_alive "$dlg" || fail "$what: the dialog closed"
  pass "$what refused, dialog kept open"
  local i
  for ((i = 0; i < ${#saved[@]}; i += 2)); do
    qm_probe settext "$dlg" "${saved[i]}" "${saved[i + 1]}"
  done
}

# Names of the pictures of a folder, in the order the system's file search
# gives them (the order of the program's image list).
image_order() {
  qm_probe list-dir "$(qm_winpath "$1")\\*.*" | sed -n 's/^name=//p' |
    grep -i -E '\.(bmp|jpg)$'
}

# The Wallpaper value the desktop should name for a list entry.
expected_wallpaper() {  # expected_wallpaper DIR NAME
  if [[ "${2,,}" == *.jpg ]]; then echo "$WALL_BMP_WIN"; else echo "$(qm_winpath "$1")\\$2"; fi
}

# The wallpaper BMP holds the JPEG's pixels: our decode of the same file.
wallpaper_bmp_matches() {  # wallpaper_bmp_matches JPEG
  local decoded="$QM_OUT/.decoded.bmp" ae
  djpeg -bmp -outfile "$decoded" "$1" || return 1
  ae="$(compare -metric AE -fuzz 2% "$WINEPREFIX/drive_c/windows/Quillmere Wallpaper.bmp" \
    "$decoded" null: 2>&1)"
  echo "     wallpaper BMP against djpeg: $ae pixels differ"
  [[ "$ae" == 0 ]]
}

# The sample pictures: size, and the colours of their quarters (top left,
# top right, bottom left, bottom right), so that a picture shown upside
# down, mirrored or with red and blue swapped does not pass.
declare -A SIZE=([red.bmp]="200 150" [quarters.jpg]="240 180" [blue.bmp]="160 120"
  [green.bmp]="120 90" [amber.bmp]="120 90")
declare -A QUARTERS=([red.bmp]="d02020 d02020 d02020 d02020"
  [quarters.jpg]="f0c020 2060e0 20b040 e040c0" [blue.bmp]="2040d0 2040d0 80c0f0 80c0f0"
  [green.bmp]="30b030 30b030 30b030 30b030" [amber.bmp]="f0a000 f0a000 f0a000 f0a000")

# The desktop shows picture NAME centred (and the desktop's own background
# around it), or tiled from the top left corner.
shows_centred() {  # shows_centred SHOTNAME NAME
  local w h tl tr bl br
  read -r w h <<<"${SIZE[$2]}"
  read -r tl tr bl br <<<"${QUARTERS[$2]}"
  local cx=$((QM_SCREEN_W / 2)) cy=$((QM_SCREEN_H / 2)) qx=$((w / 4)) qy=$((h / 4))
  screen_shows "$1" $((cx - qx)) $((cy - qy)) "$tl" $((cx + qx)) $((cy - qy)) "$tr" \
    $((cx - qx)) $((cy + qy)) "$bl" $((cx + qx)) $((cy + qy)) "$br" 20 20 "!$tl"
}
shows_tiled() {
  local w h tl tr bl br
  read -r w h <<<"${SIZE[$2]}"
  read -r tl tr bl br <<<"${QUARTERS[$2]}"
  local qx=$((w / 4)) qy=$((h / 4))
  screen_shows "$1" "$qx" "$qy" "$tl" $((3 * qx)) $((3 * qy)) "$br" \
    $((w + qx)) "$qy" "$tl" "$qx" $((h + qy)) "$tl" $((w + 3 * qx)) $((h + 3 * qy)) "$br"
}

# After a change to NAME of DIR: the desktop value names it, a JPEG's
# pixels are in the wallpaper BMP.
changed_to() {  # changed_to DIR NAME WHAT
  local dir="$1" name="$2" what="$3"
  wait_wallpaper "$(expected_wallpaper "$dir" "$name")" ||
    fail "$what: Wallpaper is \"$(wallpaper)\", expected $(expected_wallpaper "$dir" "$name")"
  if [[ "${name,,}" == *.jpg ]]; then
    wallpaper_bmp_matches "$dir/$name" || fail "$what: the wallpaper BMP does not hold $name's pixels"
  fi
  pass "$what: the wallpaper is $name"
}

set_profile() {  # set_profile NAME:TYPE:DATA...: a whole profile, nothing else
  qm_probe reg-delete "$QM_CONFIG_KEY"
  qm_probe reg-set "$QM_CONFIG_KEY" "$@"
}

# --- setup --------------------------------------------------------------------

echo "=== setup: fresh prefix $WINEPREFIX"
qm_prefix_fresh || { echo "FAIL setup: Wine prefix" | tee -a "$results"; exit 1; }
qm_display_start || { echo "FAIL setup: Xvfb" | tee -a "$results"; exit 1; }
trap 'qm_teardown' EXIT
echo "     display $DISPLAY"
empty="$QM_OUT/empty" pics="$QM_OUT/pics" one="$QM_OUT/one"
mkdir -p "$empty" "$one"
qm_make_samples "$pics" &&
  qm_probe make-bmp "$(qm_winpath "$one")\\green.bmp" 120 90 flat:30b030 ||
  { echo "FAIL setup: sample pictures" | tee -a "$results"; exit 1; }
mapfile -t order < <(image_order "$pics")
echo "     image list order: ${order[*]}"

# --- phases -------------------------------------------------------------------

# A second start ends at once and opens the running copy's settings, which
# are cancelled: Windows 11 puts a new icon out of sight, and a user who
# sees nothing starts the program again. second_start CWD LOG FRAME
second_start() {
  local dlg rc
  (cd "$1" && timeout 60 "$QM_WINE" "$QM_EXE") >"$QM_OUT/$2" 2>&1
  rc=$?
  ((rc != 124)) || fail "a second start kept running"
  pass "a second start ends at once"
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --owner "$3" --visible --timeout 15000)"
  [[ -n "$dlg" ]] || fail "the second start did not open the running copy's settings"
  pass "the second start opened the running copy's settings"
  qm_probe click "$dlg" 2 >/dev/null
  qm_probe wait-hwnd-gone "$dlg" --timeout 10000 >/dev/null ||
    fail "the settings the second start opened did not close on Cancel"
}

phase_foreign_title() {
  # Explorer titles a window on the program's own folder
  # (%LOCALAPPDATA%\Quillmere) "Quillmere": another program's window of
  # that title is no running copy, and the program starts beside it.
  local one_w holder hwnd frame
  one_w="$(qm_winpath "$one")"
  set_profile "Directory:sz:$one_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  qm_probe hold-window Quillmere >/dev/null &
  holder=$!
  hwnd="$(wait_hwnd --title Quillmere --class QmProbeHold --timeout 20000)"
  [[ -n "$hwnd" ]] || fail "our window titled Quillmere did not appear"
  qm_start "$one"
  frame="$(qm_wait_frame)" || fail "a window titled Quillmere kept the program from starting"
  pass "a foreign window titled Quillmere does not keep the program from starting"
  check "the tray icon is drawn" icon_drawn
  second_start "$one" foreign-title-second.log "$frame"
  check "the first copy runs on" hwnd_alive "$frame"
  check "the foreign window is untouched" hwnd_alive "$hwnd"
  qm_stop
  qm_probe close "$hwnd"
  qm_wait_exit "$holder" 10
}

phase_first_start() {
  local before frame box dlg
  before="$(wallpaper)"
  qm_start "$empty"
  frame="$(qm_wait_frame)" || fail "no frame window titled Quillmere"
  pass "the program started (frame $frame)"
  check "it runs with the Common Controls 6 its manifest names" \
    uses_comctl6 "$(qm_probe find --title Quillmere | grep -v 'class=#32770' | qm_field pid)"

  box="$(wait_hwnd --title Quillmere --class '#32770' --owner "$frame" --visible --timeout 15000)"
  [[ -n "$box" ]] || fail "no message box for the empty folder"
  check "the empty folder gives \"$MSG_NO_IMAGES\"" ctrl_text_is "$box" 0xffff "$MSG_NO_IMAGES"
  qm_mouse_away
  qm_shot "$QM_OUT/first-start-message.png"

  # The constructor stored all eleven values before the icon and the box.
  local dir_w
  dir_w="$(qm_winpath "$empty")"
  check "Directory is the start directory, REG_SZ" reg_is "$QM_CONFIG_KEY" Directory REG_SZ "$dir_w"
  local nv
  for nv in AutoChange:1 Display:2 Height:301 Width:301 Random:0 Stretch:1 Subfolders:0 EachMonitor:0 Time:20 When:0; do
    check "${nv%%:*} = ${nv#*:}, REG_DWORD" reg_is "$QM_CONFIG_KEY" "${nv%%:*}" REG_DWORD "${nv#*:}"
  done
  check "exactly eleven profile values" \
    test "$(qm_probe reg "$QM_CONFIG_KEY" | grep -c '^name=')" -eq 11

  # A second start ends at once; it neither writes the profile (When stays
  # deleted) nor disturbs the first copy, whose settings open over its box.
  qm_probe reg-delete "$QM_CONFIG_KEY" When
  second_start "$empty" second-start.log "$frame"
  check "the second start did not touch the profile" no_value "$QM_CONFIG_KEY" When
  qm_probe reg-set "$QM_CONFIG_KEY" When:dword:0
  check "the first copy's frame is still there" hwnd_alive "$frame"
  check "its message box is still there" hwnd_alive "$box"

  # Closing those settings handed the activation to their owner, the hidden
  # frame, as Windows does: the user clicks on the box before its OK.
  qm_activate_by_click "$box"
  # The box closed, the settings dialog follows by itself.
  qm_click_box "$box" 1 || fail "the message box took no input ($(qm_input_state "$box"))"
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
  [[ -n "$dlg" ]] || fail "no settings dialog after the message box"
  pass "the settings dialog follows the message box"
  check "the dialog is owned by the frame" has_window --title 'Quillmere Settings' --owner "$frame"
  qm_shot "$QM_OUT/first-start-settings.png"

  # It shows the stored settings.
  check "Change Automatically is checked" ctrl_checked "$dlg" 1006 1
  check "the interval reads 20" ctrl_text_is "$dlg" 1009 20
  check "its up-down is at 20, range 1..120" updown_is "$dlg" 1008 20 1 120
  check "Minutes is selected" ctrl_checked "$dlg" 1010 1
  check "Hours is not" ctrl_checked "$dlg" 1011 0
  check "Auto-Tile is selected" ctrl_checked "$dlg" 1017 1
  check "width reads 301" ctrl_text_is "$dlg" 1019 301
  check "the width and height boxes are enabled" ctrl_enabled "$dlg" 1019 1
  check "width up-down at 301, range 1..2000" updown_is "$dlg" 1018 301 1 2000
  check "height reads 301" ctrl_text_is "$dlg" 1021 301
  check "height up-down at 301, range 1..2000" updown_is "$dlg" 1020 301 1 2000
  check "the size list shows Stretched" ctrl_cursel "$dlg" 1022 1
  check "Sequentialy Chosen is selected" ctrl_checked "$dlg" 1003 1
  check "the folder box holds the stored folder" ctrl_text_is "$dlg" 1013 "$dir_w"

  # Width and height boxes follow the display mode; their arrows stay on.
  qm_probe click "$dlg" 1015
  check "Center disables the width box" qm_poll 5 ctrl_enabled "$dlg" 1019 0
  check "... and the height box" ctrl_enabled "$dlg" 1021 0
  check "... but not their up-downs" ctrl_enabled "$dlg" 1018 1
  qm_probe click "$dlg" 1017
  check "Auto-Tile enables them again" qm_poll 5 ctrl_enabled "$dlg" 1019 1
  qm_probe click "$dlg" 1016
  check "Tile disables them" qm_poll 5 ctrl_enabled "$dlg" 1021 0
  qm_probe click "$dlg" 1017
  qm_poll 5 ctrl_enabled "$dlg" 1021 1

  # Bad numbers are refused with a message box; the dialog stays.
  refuse "$dlg" "interval 0" 1009 0 -- 120
  refuse "$dlg" "interval 121" 1009 121 -- 120
  refuse "$dlg" "a non-numeric interval" 1009 abc -- integer
  refuse "$dlg" "width 2001" 1019 2001 -- 2000
  refuse "$dlg" "height 0" 1021 0 -- 2000
  refuse "$dlg" "interval 0 with width 2001 (interval first)" 1009 0 1019 2001 -- 120
  qm_probe click "$dlg" 1015
  qm_poll 5 ctrl_enabled "$dlg" 1019 0
  refuse "$dlg" "width 2001 in a disabled box" 1019 2001 -- 2000
  qm_probe click "$dlg" 1017

  # Browse opens the folder browser; cancelling it changes nothing.
  qm_probe click "$dlg" 1014
  local browser
  browser="$(wait_hwnd --class '#32770' --owner "$dlg" --visible --timeout 10000)"
  [[ -n "$browser" ]] || fail "Browse opened no window"
  pass "Browse opens the folder browser ($(qm_probe text "$browser" | sed 's/^text=//'))"
  qm_shot "$QM_OUT/folder-browser.png"
  qm_probe command "$browser" 2
  check "the browser closes on Cancel" qm_probe wait-hwnd-gone "$browser" --timeout 5000
  check "the folder box is unchanged" ctrl_text_is "$dlg" 1013 "$dir_w"

  # About opens above the settings dialog, which keeps its edits.
  qm_probe settext "$dlg" 1009 7
  qm_probe click "$dlg" 57664
  local about
  about="$(wait_hwnd --title 'About Quillmere 2.0' --class '#32770' --visible --timeout 10000)"
  [[ -n "$about" ]] || fail "About opened no about box"
  pass "About opens \"About Quillmere 2.0\""
  check "the about box is owned by the settings dialog" has_window --title 'About Quillmere 2.0' --owner "$dlg"
  check "it shows a contact address" test "$(qm_probe text "$about" 1000)" != text=
  local style
  style="$(qm_probe style "$about" 1000 | qm_field style)"
  check "the address box is read-only" test $((style & 0x800)) -ne 0
  qm_shot "$QM_OUT/about-over-settings.png"
  qm_click_box "$about" 1 || fail "the about box took no input ($(qm_input_state "$about"))"
  check "the about box closes on OK" qm_probe wait-hwnd-gone "$about" --timeout 5000
  check "the settings dialog is still open" hwnd_alive "$dlg"
  check "with its edit intact" ctrl_text_is "$dlg" 1009 7

  # Cancel after edits stores nothing.
  local profile_before desktop_before
  profile_before="$(qm_probe reg "$QM_CONFIG_KEY")"
  desktop_before="$(desktop_values)"
  qm_probe settext "$dlg" 1013 "$(qm_winpath "$pics")"
  qm_probe click "$dlg" 1006
  qm_probe click "$dlg" 1016
  qm_probe click "$dlg" 2
  check "Cancel closes the dialog" qm_probe wait-hwnd-gone "$dlg" --timeout 5000
  check "Cancel leaves the profile as it was" test "$(qm_probe reg "$QM_CONFIG_KEY")" == "$profile_before"
  check "... and the desktop values" test "$(desktop_values)" == "$desktop_before"
  check "start-up changed no wallpaper" test "$(wallpaper)" == "$before"

  # The icon is in the tray; its menu: eight items, Previous bold, Tile
  # enabled and Center greyed (the fresh desktop key has no TileWallpaper).
  check "the tray icon is drawn" icon_drawn
  local menu
  menu="$(open_menu)"
  [[ -n "$menu" ]] || fail "a right click opened no popup menu"
  pass "a right click opens the popup menu"
  menu_rows "$menu" menu-fresh >/dev/null
  check "menu: eight items, bold Previous, Tile enabled, Center greyed" \
    menu_layout_ok "$QM_OUT/menu-fresh.rows" tile

  # "&Settings" from the menu; OK applies everything.
  menu_pick "$menu" s
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
  [[ -n "$dlg" ]] || fail "&Settings opened no dialog"
  pass "&Settings opens the settings dialog"
  local pics_w
  pics_w="$(qm_winpath "$pics")"
  qm_probe settext "$dlg" 1013 "$pics_w"
  qm_probe click "$dlg" 1006
  qm_poll 5 ctrl_checked "$dlg" 1006 0 || fail "Change Automatically did not clear"
  qm_probe click "$dlg" 1015
  qm_probe select "$dlg" 1022 0
  qm_poll 5 ctrl_cursel "$dlg" 1022 0 || fail "the size list did not take As it is"
  qm_probe click "$dlg" 1011
  qm_probe settext "$dlg" 1009 5
  qm_probe settext "$dlg" 1019 640
  qm_probe settext "$dlg" 1021 2000
  qm_poll 5 ctrl_checked "$dlg" 1011 1 || fail "Hours did not take"
  qm_probe click "$dlg" 1
  check "OK closes the dialog" qm_probe wait-hwnd-gone "$dlg" --timeout 5000
  check "profile: Directory is the new folder" reg_is "$QM_CONFIG_KEY" Directory REG_SZ "$pics_w"
  for nv in AutoChange:0 Display:0 Stretch:0 When:1 Time:5 Width:640 Height:2000 Random:0; do
    check "profile: ${nv%%:*} = ${nv#*:}" reg_is "$QM_CONFIG_KEY" "${nv%%:*}" REG_DWORD "${nv#*:}"
  done
  check "desktop: TileWallpaper \"0\" (Center)" reg_is "$QM_DESKTOP_KEY" TileWallpaper REG_SZ 0
  check "desktop: WallpaperStyle \"0\" (no stretch)" reg_is "$QM_DESKTOP_KEY" WallpaperStyle REG_SZ 0

  # The new folder was scanned: a click shows its first picture, centred.
  qm_click_icon 1
  changed_to "$pics" "${order[0]}" "a click after OK with a new folder"
  check "it is centred on the desktop" shows_centred after-ok-centred "${order[0]}"

  # OK sets the current picture again in the new layout.
  qm_probe command "$frame" 32772
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
  [[ -n "$dlg" ]] || fail "the Settings command opened no dialog"
  check "the dialog shows the applied folder" ctrl_text_is "$dlg" 1013 "$pics_w"
  check "... and Center" ctrl_checked "$dlg" 1015 1
  qm_probe click "$dlg" 1016
  qm_probe select "$dlg" 1022 1
  qm_poll 5 ctrl_checked "$dlg" 1016 1
  qm_poll 5 ctrl_cursel "$dlg" 1022 1 || fail "the size list did not take Stretched"
  qm_probe click "$dlg" 1
  check "OK closes the dialog" qm_probe wait-hwnd-gone "$dlg" --timeout 5000
  check "desktop: TileWallpaper \"1\" (Tile)" reg_is "$QM_DESKTOP_KEY" TileWallpaper REG_SZ 1
  check "desktop: WallpaperStyle \"2\" (stretch)" reg_is "$QM_DESKTOP_KEY" WallpaperStyle REG_SZ 2
  check "profile: Display = 1" reg_is "$QM_CONFIG_KEY" Display REG_DWORD 1
  check "profile: Stretch = 1" reg_is "$QM_CONFIG_KEY" Stretch REG_DWORD 1
  check "the same picture is shown again, tiled" shows_tiled after-ok-tiled "${order[0]}"

  # E&xit saves the settings (an outside change to Time is overwritten)
  # and takes the icon away.
  qm_probe reg-set "$QM_CONFIG_KEY" Time:dword:99
  menu="$(open_menu)"
  [[ -n "$menu" ]] || fail "no popup menu for E&xit"
  menu_pick "$menu" x
  check "E&xit ends the program" qm_wait_exit "$QM_PID" 20
  QM_PID=
  check "exit saved the settings (Time back to 5)" reg_is "$QM_CONFIG_KEY" Time REG_DWORD 5
  check "all eleven values are there" test "$(qm_probe reg "$QM_CONFIG_KEY" | grep -c '^name=')" -eq 11
  check "the icon is gone from the tray" qm_poll 8 not_icon_drawn
}

phase_clicks() {
  local pics_w frame
  pics_w="$(qm_winpath "$pics")"
  set_profile "Directory:sz:$pics_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  qm_probe reg-set "$QM_DESKTOP_KEY" TileWallpaper:sz:0 Wallpaper:sz:
  qm_start
  frame="$(qm_wait_frame)" || fail "no frame window"
  check "the tray icon is drawn" icon_drawn
  qm_probe sync "$frame"
  check "a folder with pictures gives no message box" no_window --class '#32770' --title Quillmere
  check "start-up changed no wallpaper" test -z "$(wallpaper)"

  qm_click_icon 1
  changed_to "$pics" "${order[0]}" "a left click"
  check "the desktop shows it centred" shows_centred click-1 "${order[0]}"

  qm_click_icon 1 --repeat 2 --delay 80
  changed_to "$pics" "${order[2]}" "a double click (two changes)"
  qm_probe sync "$frame"
  check "... and no third change" test "$(wallpaper)" == "$(expected_wallpaper "$pics" "${order[2]}")"
  check "the desktop shows it" shows_centred double-click "${order[2]}"

  # Previous: one true step back, then on through the list's order.
  local menu
  menu="$(open_menu)"
  [[ -n "$menu" ]] || fail "no popup menu"
  menu_pick "$menu" p
  changed_to "$pics" "${order[1]}" "&Previous Wallpaper"
  check "the desktop shows it" shows_centred previous-1 "${order[1]}"
  menu="$(open_menu)"
  menu_pick "$menu" p
  changed_to "$pics" "${order[0]}" "&Previous Wallpaper again"
  check "the desktop shows it" shows_centred previous "${order[0]}"

  # Tile and Center current paper: enabled by TileWallpaper, re-laying out
  # the picture the desktop shows.
  menu="$(open_menu)"
  menu_rows "$menu" menu-centred >/dev/null
  check "menu when centred: Tile enabled, Center greyed" menu_layout_ok "$QM_OUT/menu-centred.rows" tile
  menu_pick "$menu" t
  check "&Tile Current Paper sets TileWallpaper \"1\"" \
    qm_probe wait-reg "$QM_DESKTOP_KEY" TileWallpaper --equals 1 --timeout 8000 >/dev/null
  check "... and the desktop shows the picture tiled" shows_tiled tiled "${order[0]}"
  check "... the same picture" test "$(wallpaper)" == "$(expected_wallpaper "$pics" "${order[0]}")"
  menu="$(open_menu)"
  menu_rows "$menu" menu-tiled >/dev/null
  check "menu when tiled: Center enabled, Tile greyed" menu_layout_ok "$QM_OUT/menu-tiled.rows" center
  menu_pick "$menu" c
  check "&Center Current Paper sets TileWallpaper \"0\"" \
    qm_probe wait-reg "$QM_DESKTOP_KEY" TileWallpaper --equals 0 --timeout 8000 >/dev/null
  check "... and the desktop shows it centred" shows_centred centred "${order[0]}"
  check "Display in the profile is untouched" reg_is "$QM_CONFIG_KEY" Display REG_DWORD 0

  # "&About Quillmere" from the menu.
  menu="$(open_menu)"
  menu_pick "$menu" a
  local about
  about="$(wait_hwnd --title 'About Quillmere 2.0' --class '#32770' --visible --timeout 10000)"
  check "&About Quillmere opens the about box" test -n "$about"
  qm_probe click "$about" 1
  check "... which closes on OK" qm_probe wait-hwnd-gone "$about" --timeout 5000

  # A right button press alone opens nothing; the release does.
  xdotool mousemove "$(qm_icon_x)" "$(qm_icon_y)" mousedown 3
  qm_probe sync "$(qm_probe find --class Shell_TrayWnd | qm_field hwnd)"
  qm_probe sync "$frame"
  check "no menu on the right button's press" no_window --class '#32768' --visible
  xdotool mouseup 3
  menu="$(wait_hwnd --class '#32768' --visible --timeout 8000)"
  check "the menu opens on the release" test -n "$menu"
  qm_probe key "$menu" 0x1B
  qm_probe wait-gone --class '#32768' --visible --timeout 5000

  # Every right click loads the menu anew: nothing may pile up. Counted
  # by GetGuiResources, or from inside the process where that is a stub.
  local pid gdi user err via i
  pid="$(qm_probe find --title Quillmere | grep -v 'class=#32770' | qm_field pid)"
  read -r gdi user err via < <(qm_probe gui-resources "$pid" | sed 's/[a-z]*=//g')
  # Where GetGuiResources is a stub (Wine), the count from inside must answer.
  if [[ "$err" != 0 ]]; then
    local why
    why="$(grep 'no count from inside' "$QM_OUT/probe.stderr" | tail -n 1 | sed 's/^qm_probe: //')"
    fail "no GUI object counts: GetGuiResources gave error $err, and ${why:-the count from inside failed}"
  else
    for ((i = 0; i < 5; i++)); do
      menu="$(open_menu)"
      qm_probe key "$menu" 0x1B
      qm_probe wait-gone --class '#32768' --visible --timeout 5000
    done
    local gdi2 user2
    read -r gdi2 user2 err via < <(qm_probe gui-resources "$pid" | sed 's/[a-z]*=//g')
    check "five menus leave the GDI count ($gdi -> $gdi2) and USER count ($user -> $user2) ($via)" \
      test $((gdi2 - gdi)) -le 2 -a $((user2 - user)) -le 2
  fi
}

phase_timer_taskbar() {
  local one_w frame
  one_w="$(qm_winpath "$one")"
  set_profile "Directory:sz:$one_w" AutoChange:dword:1 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:1 When:dword:0 Width:dword:301 Height:dword:301
  qm_probe reg-set "$QM_DESKTOP_KEY" TileWallpaper:sz:0 Wallpaper:sz:
  qm_start
  frame="$(qm_wait_frame)" || fail "no frame window"
  local t0=$SECONDS
  check "the tray icon is drawn" icon_drawn

  # A second start on the way leaves the first copy's timer running.
  second_start "$QM_OUT" second-start-2.log "$frame"

  # The timer (AutoChange 1, Time 1, minutes) changes the wallpaper by itself.
  wait_wallpaper "$one_w\\green.bmp" 90 || fail "no change by the timer within 90 s"
  pass "the timer changed the wallpaper after $((SECONDS - t0)) s"
  check "the desktop shows it" shows_centred timer green.bmp

  # Update Image List rebuilds from the stored folder, even on Cancel.
  qm_probe make-bmp "$one_w\\amber.bmp" 120 90 flat:f0a000
  local dlg
  qm_probe command "$frame" 32772
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
  [[ -n "$dlg" ]] || fail "the Settings command opened no dialog"
  qm_probe click "$dlg" 1023
  qm_probe sync "$dlg"
  check "the dialog stays open after Update Image List" hwnd_alive "$dlg"
  qm_probe click "$dlg" 2
  qm_probe wait-hwnd-gone "$dlg" --timeout 5000
  local -a new_order
  mapfile -t new_order < <(image_order "$one")
  qm_click_icon 1
  changed_to "$one" "${new_order[0]}" "after Update Image List, a click shows the new list's first"
  qm_click_icon 1
  changed_to "$one" "${new_order[1]}" "and the next click its second"

  # A restarted shell has lost the icon; the program adds it again on
  # "TaskbarCreated". Wine's explorer is the desktop and the taskbar in one:
  # ending it takes the program's windows with it. So the test plays the
  # new shell: it takes the icon off (NIM_DELETE from another process), then
  # sends the frame the message a new taskbar broadcasts.
  qm_probe tray-delete "$frame" 128 >/dev/null
  check "the icon is gone after the shell lost it" qm_poll 8 not_icon_drawn
  qm_probe taskbar-created "$frame" >/dev/null || fail "the frame did not answer TaskbarCreated"
  check "after \"TaskbarCreated\" the icon is back" icon_drawn
  qm_mouse_away
  qm_shot "$QM_OUT/icon-back.png"
  qm_click_icon 1
  changed_to "$one" "${new_order[0]}" "the icon that came back is clickable"

  qm_probe close "$frame"
  check "WM_CLOSE ends the program" qm_wait_exit "$QM_PID" 20
  QM_PID=
}

phase_timer_by_ok() {
  # OK in the settings dialog arms the timer that the profile left off.
  local one_w frame dlg
  one_w="$(qm_winpath "$one")"
  set_profile "Directory:sz:$one_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  qm_probe reg-set "$QM_DESKTOP_KEY" Wallpaper:sz:
  qm_start
  frame="$(qm_wait_frame)" || fail "no frame window"
  qm_probe command "$frame" 32772
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
  [[ -n "$dlg" ]] || fail "the Settings command opened no dialog"
  check "Change Automatically is clear, as stored" ctrl_checked "$dlg" 1006 0
  qm_probe click "$dlg" 1006
  qm_poll 5 ctrl_checked "$dlg" 1006 1 || fail "Change Automatically did not check"
  qm_probe settext "$dlg" 1009 1
  qm_probe click "$dlg" 1
  check "OK closes the dialog" qm_probe wait-hwnd-gone "$dlg" --timeout 5000
  local t0=$SECONDS
  check "profile: AutoChange = 1" reg_is "$QM_CONFIG_KEY" AutoChange REG_DWORD 1
  check "profile: Time = 1" reg_is "$QM_CONFIG_KEY" Time REG_DWORD 1
  local -a list
  mapfile -t list < <(image_order "$one")
  wait_wallpaper "$(expected_wallpaper "$one" "${list[0]}")" 90 ||
    fail "no change by the timer within 90 s of OK"
  pass "the timer armed by OK changed the wallpaper after $((SECONDS - t0)) s"
}

# The wallpaper BMP is a whole picture of JPEG $1's size whose pixels are
# our own decode of it (djpeg warns about a cut file as the program does,
# and decodes on).
wall_bmp_holds() {  # wall_bmp_holds JPEG
  local bmp="$WINEPREFIX/drive_c/windows/Quillmere Wallpaper.bmp"
  local decoded="$QM_OUT/.decoded.bmp" size w h
  rm -f "$decoded"
  djpeg -bmp -outfile "$decoded" "$1" 2>/dev/null
  [[ -s "$decoded" && -f "$bmp" ]] || return 1
  size="$(stat -c %s "$bmp")"
  read -r w h < <(od -An -tu4 -j 18 -N 8 "$bmp")
  [[ "$(head -c 2 "$bmp")" == BM && "$(od -An -tu4 -j 2 -N 4 "$bmp" | tr -d ' ')" == "$size" ]] &&
    ((size == 54 + (w * 3 + 3) / 4 * 4 * h)) &&
    [[ "$(identify -format '%w %h' "$decoded")" == "$w $h" ]] &&
    [[ "$(compare -metric AE -fuzz 2% "$bmp" "$decoded" null: 2>&1)" == 0 ]]
}

# Polls until the desktop shows entry NAME of DIR: the Wallpaper value names
# it and, for a JPEG, the wallpaper BMP holds its pixels.
shows_entry() {  # shows_entry DIR NAME
  local end=$((SECONDS + 10))
  while :; do
    if [[ "$(wallpaper)" == "$(expected_wallpaper "$1" "$2")" ]] &&
      { [[ "${2,,}" != *.jpg ]] || wall_bmp_holds "$1/$2"; }; then
      return 0
    fi
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

phase_nested() {
  # A JPEG cut in its data warns "Premature end of JPEG file" in a "JPEG
  # Error" box while it is being converted. The box's message loop goes on
  # dispatching tray clicks, so a click then runs a whole second change
  # inside the first; so does one while the settings dialog is open.
  local dir="$QM_OUT/nested" dir_w frame
  mkdir -p "$dir"
  dir_w="$(qm_winpath "$dir")"
  qm_probe make-jpeg "$dir_w\\n1.jpg" 320 240 quad:f0c020,2060e0,20b040,e040c0 95 &&
    qm_probe make-jpeg "$dir_w\\n2.jpg" 240 180 quad:e03030,30e030,3030e0,f0f0f0 95 &&
    qm_probe make-jpeg "$dir_w\\n3.jpg" 200 150 quad:202020,c0c0c0,f08000,0080f0 95 &&
    qm_probe make-bmp "$dir_w\\n4.bmp" 120 90 flat:30b030 || fail "pictures"
  local -a list
  mapfile -t list < <(image_order "$dir")
  local n=${#list[@]} b
  # The cut one: a JPEG whose successor in the list is a JPEG too, so that
  # the nested change converts while the first conversion is still open.
  for ((b = 0; b < n; b++)); do
    [[ "${list[b]}" == *.jpg && "${list[(b + 1) % n]}" == *.jpg ]] && break
  done
  local bad="${list[b]}" after="${list[(b + 1) % n]}"
  local sos
  # Cut half way between the start of the scan (SOS) and the end.
  sos="$(LC_ALL=C grep -obUaP '\xff\xda' "$dir/$bad" | head -n 1 | cut -d: -f1)"
  [[ -n "$sos" ]] || fail "$bad has no scan"
  truncate -s $(((sos + $(stat -c %s "$dir/$bad")) / 2)) "$dir/$bad"
  local warning
  warning="$(djpeg "$dir/$bad" 2>&1 >/dev/null)"
  [[ "$warning" == *"Premature end of JPEG file"* ]] || fail "$bad, cut in its data, does not warn"
  echo "     list: ${list[*]}; $bad cut in its data"

  set_profile "Directory:sz:$dir_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  qm_probe reg-set "$QM_DESKTOP_KEY" TileWallpaper:sz:0 Wallpaper:sz:
  qm_start
  frame="$(qm_wait_frame)" || fail "no frame window"
  icon_drawn || fail "no tray icon"
  local i
  for ((i = 0; i < b; i++)); do
    qm_click_icon 1
    shows_entry "$dir" "${list[i]}" || fail "click $((i + 1)) did not show ${list[i]}"
  done

  local box
  qm_click_icon 1
  box="$(wait_hwnd --title 'JPEG Error' --class '#32770' --visible --timeout 10000)"
  [[ -n "$box" ]] || fail "no \"JPEG Error\" box for $bad"
  check "$bad gives \"JPEG Error\": Premature end of JPEG file" \
    ctrl_text_is "$box" 0xffff "Premature end of JPEG file"
  qm_click_icon 1
  shows_entry "$dir" "$after" || fail "a click during the box did not show $after"
  pass "a click while the box is open changes to $after at once"
  check "the box is still open" hwnd_alive "$box"
  qm_probe click "$box" 1
  check "the box closes" qm_probe wait-hwnd-gone "$box" --timeout 5000
  # The first change ends last: its picture, the cut one, stays.
  shows_entry "$dir" "$bad" || fail "after the box the wallpaper BMP is not $bad's whole picture"
  pass "the first change ends with $bad as a whole, valid BMP"
  qm_probe sync "$frame"
  check "no other box came up" no_window --class '#32770' --visible

  # On in order from the nested change's entry, the cut one warning again.
  for ((i = b + 2; i <= b + n; i++)); do
    qm_click_icon 1
    if ((i % n == b)); then
      box="$(wait_hwnd --title 'JPEG Error' --class '#32770' --visible --timeout 10000)"
      [[ -n "$box" ]] || fail "no \"JPEG Error\" box for $bad the second time"
      qm_probe click "$box" 1
      qm_probe wait-hwnd-gone "$box" --timeout 5000 || fail "the box did not close"
    fi
    shows_entry "$dir" "${list[i % n]}" || fail "the walk did not show ${list[i % n]}"
  done
  pass "further clicks walk the list in order, back to $bad"

  # A click while the settings dialog is open changes the wallpaper too.
  local dlg
  qm_probe command "$frame" 32772
  dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
  [[ -n "$dlg" ]] || fail "the Settings command opened no dialog"
  qm_click_icon 1
  shows_entry "$dir" "$after" || fail "a click during the settings dialog did not show $after"
  pass "a click while the settings dialog is open shows $after"
  qm_probe click "$dlg" 2
  check "Cancel closes the dialog" qm_probe wait-hwnd-gone "$dlg" --timeout 5000
  qm_click_icon 1
  shows_entry "$dir" "${list[(b + 2) % n]}" || fail "the next click did not show ${list[(b + 2) % n]}"
  pass "and the next click the entry after it"

  qm_probe close "$frame"
  check "WM_CLOSE ends the program" qm_wait_exit "$QM_PID" 20
  QM_PID=
}

phase_twins() {
  # Two copies started at the same moment: each would look for the other's
  # window before its own exists. The copy that loses the claim on the name
  # ends at once, so one frame and one icon are left, and no second copy is
  # there to save its settings over the first one's at exit.
  local one_w try a b survivor frames frame dlg
  one_w="$(qm_winpath "$one")"
  set_profile "Directory:sz:$one_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  for try in 1 2 3 4 5 6; do
    (cd "$one" && exec "$QM_WINE" "$QM_EXE") >"$QM_OUT/twin-$try-a.log" 2>&1 &
    a=$!
    (cd "$one" && exec "$QM_WINE" "$QM_EXE") >"$QM_OUT/twin-$try-b.log" 2>&1 &
    b=$!
    qm_poll 30 eval '! kill -0 "$a" 2>/dev/null || ! kill -0 "$b" 2>/dev/null' ||
      fail "start $try: both copies still run after 30 s"
    if kill -0 "$a" 2>/dev/null; then survivor=$a; else survivor=$b; fi
    QM_PID=$survivor
    frame="$(qm_wait_frame)" || fail "start $try: the remaining copy shows no frame"
    # The losing copy asked the other for its settings.
    dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --owner "$frame" --visible --timeout 15000)"
    [[ -n "$dlg" ]] || fail "start $try: the losing copy did not open the running copy's settings"
    qm_probe click "$dlg" 2 >/dev/null
    sleep 1  # time for a late second frame to appear
    frames="$(qm_probe find --class QuillmereFrame 2>/dev/null | grep -c 'hwnd=')"
    ((frames == 1)) || fail "start $try: $frames frame windows"
    kill -0 "$a" 2>/dev/null && kill -0 "$b" 2>/dev/null && fail "start $try: both copies run"
    qm_stop
    wait "$a" "$b" 2>/dev/null
  done
  pass "six times two copies started together: one frame, one copy running, its settings opened"
}

# The tray icon at the screen's scale: the record the shell receives holds
# an image of the small-icon size, 16, 24 and 32 pixels at 96, 144 and 192
# DPI, in the version 4 record. A stand-in for the taskbar (qm_probe
# fake-tray) takes the records in place of Wine's.
phase_tray_dpi() {
  local pics_w dpi want tray_pid records frame
  pics_w="$(qm_winpath "$pics")"
  set_profile "Directory:sz:$pics_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  for dpi in 96 144 192; do
    want=$((16 * dpi / 96))
    qm_probe reg-set "$QM_DESKTOP_KEY" "LogPixels:dword:$dpi"
    records="$QM_OUT/tray-$dpi.txt"
    "$QM_WINE" "$QM_PROBE" fake-tray --timeout 60000 >"$records" 2>>"$QM_OUT/probe.stderr" &
    tray_pid=$!
    qm_poll 20 grep -q '^hwnd=' "$records" || { kill "$tray_pid"; fail "$dpi DPI: no stand-in taskbar"; }
    qm_start
    frame="$(qm_wait_frame)" || { kill "$tray_pid"; fail "$dpi DPI: no frame window"; }
    qm_poll 10 grep -q '^action=0 ' "$records"
    qm_stop
    kill "$tray_pid" 2>/dev/null
    wait "$tray_pid" 2>/dev/null
    tr -d '\r' <"$records" | sed 's/^/     /'
    check "$dpi DPI: the icon added is $want x $want pixels" \
      grep -q "^action=0 uid=128 .* width=$want height=$want" <(tr -d '\r' <"$records")
    check "$dpi DPI: the record is set to version 4" \
      grep -q '^action=4 uid=128 .* version=4 ' <(tr -d '\r' <"$records")
  done
  qm_probe reg-set "$QM_DESKTOP_KEY" LogPixels:dword:96
}

# --- a different picture on each monitor -------------------------------------

# Two monitors under Wine need its X11 driver without the virtual desktop,
# on a display with two Xinerama heads and no RandR (Wine asks RandR first,
# and Xephyr's reports one output): an Xephyr nested in our Xvfb, whose two
# screens are two windows there, and a prefix of its own made on it, or
# Wine keeps the one monitor it found when the prefix was made. Small
# screens of the usual shapes (16:9 and 5:4) are as good as large ones.
EACH_MONITORS=(0,0,640,360 640,0,960,256)

# The processes of a prefix (its server among them), by their environment.
prefix_pids() {
  local p
  for p in $(pgrep -f . 2>/dev/null); do
    grep -qzxF "WINEPREFIX=$1" "/proc/$p/environ" 2>/dev/null && echo "$p"
  done
}

# each_composed_ok BMP FIRST SECOND: the composed wallpaper is the monitors'
# bounding box, and each monitor's rectangle holds its picture stretched
# over it: our own resample of the source file, compared by the mean
# difference, which a swapped, shifted or wrongly scaled picture fails
# (the program's own are 0.4 off, JPEG and resampling; the smallest fault,
# the 4:3 picture fitted instead of stretched on the 5:4 monitor, 7).
each_composed_ok() {
  /usr/bin/python3 - "$@" "${EACH_MONITORS[@]}" <<'PY'
import sys
from PIL import Image, ImageChops, ImageStat
composed, first, second = sys.argv[1:4]
monitors = [tuple(map(int, m.split(","))) for m in sys.argv[4:6]]
img = Image.open(composed).convert("RGB")
left, top = min(m[0] for m in monitors), min(m[1] for m in monitors)
want = (max(m[2] for m in monitors) - left, max(m[3] for m in monitors) - top)
print(f"     composed {img.size[0]}x{img.size[1]}, the monitors' bounding box {want[0]}x{want[1]}")
if img.size != want:
    sys.exit(1)
bad = False
for picture, m in zip((first, second), monitors):
    expected = Image.open(picture).convert("RGB").resize((m[2] - m[0], m[3] - m[1]), Image.BILINEAR)
    shown = img.crop((m[0] - left, m[1] - top, m[2] - left, m[3] - top))
    diff = max(ImageStat.Stat(ImageChops.difference(shown, expected)).mean)
    print(f"     monitor {m}: {picture.rsplit('/', 1)[-1]} stretched, mean difference {diff:.1f}")
    bad = bad or diff > 4
sys.exit(1 if bad else 0)
PY
}

phase_each_monitor() {
  # Not local: the trap below runs after this function has returned.
  each_dir="$QM_OUT/each-monitor" each_xephyr=""
  local dir="$each_dir"
  mkdir -p "$dir"
  # Ours, whatever way the phase ends: the program, the prefix's server and
  # its processes, the Xephyr; then the prefix and pictures.
  each_monitor_end() {
    qm_stop
    local p pids
    pids="$(prefix_pids "$WINEPREFIX")"
    wineserver -k 2>/dev/null
    for p in $pids; do qm_wait_exit "$p" 10 || kill -9 "$p" 2>/dev/null; done
    if [[ -n "$each_xephyr" ]]; then
      kill "$each_xephyr" 2>/dev/null
      qm_wait_exit "$each_xephyr" 10 || kill -9 "$each_xephyr" 2>/dev/null
    fi
    rm -rf "$each_dir/prefix" "$each_dir/pics"
  }
  trap each_monitor_end EXIT
  Xephyr -displayfd 4 +xinerama -extension RANDR -screen 640x360 -screen 320x256 -nolisten tcp \
    4>"$dir/display.number" >"$dir/xephyr.log" 2>&1 &
  each_xephyr=$!
  qm_poll 10 test -s "$dir/display.number" || fail "Xephyr did not start (see $dir/xephyr.log)"
  export DISPLAY=":$(tr -d '\n' <"$dir/display.number")"
  export WINEPREFIX="$dir/prefix"
  local t0=$SECONDS
  "$QM_WINE64" wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
  # Until the setup's services have ended: a program started among them
  # finds no RpcSs, and every COM object it asks for waits on it.
  timeout 60 wineserver -w || fail "the new prefix's setup did not end within 60 s"
  echo "     prefix made on the Xephyr $DISPLAY: $((SECONDS - t0)) s"
  local seen
  seen="$(qm_probe monitors | qm_field_all rect | tr '\n' ' ')"
  [[ "$seen" == "${EACH_MONITORS[*]} " ]] ||
    fail "Wine sees the monitors ${seen:-(none)}, not ${EACH_MONITORS[*]}"
  pass "Wine sees the two monitors side by side: ${EACH_MONITORS[*]}"

  local pics="$dir/pics" pics_w first second
  mkdir -p "$pics"
  pics_w="$(qm_winpath "$pics")"
  # Quartered, so that a picture mirrored, cropped or laid out at the other
  # monitor's size is told apart; one JPEG (converted) and one BMP (taken
  # as it is).
  qm_probe make-jpeg "$pics_w\\left.jpg" 200 150 quad:e03020,20a040,3050e0,f0d020 95 &&
    qm_probe make-bmp "$pics_w\\right.bmp" 160 120 quad:f080c0,40e0e0,803000,a0a0a0 ||
    fail "no sample pictures"
  mapfile -t order < <(image_order "$pics")
  first="$pics/${order[0]}" second="$pics/${order[1]}"
  set_profile "Directory:sz:$pics_w" EachMonitor:dword:1 AutoChange:dword:0 Display:dword:0 \
    Stretch:dword:1 Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  qm_start "$dir"
  qm_wait_frame >/dev/null || fail "no frame window"
  # With no tray on the display, Wine's X11 driver shows the icons in a
  # window of its own, at the top left with no window manager: the first
  # icon, 20 pixels square, sits inside its 3-pixel border at the bottom left.
  local tray l t r b
  tray="$(qm_probe wait --class __winex11_standalone_tray --visible --timeout 10000 | qm_field rect)"
  [[ -n "$tray" ]] || fail "no tray window with the program's icon"
  IFS=, read -r l t r b <<<"$tray"
  t0=$SECONDS
  xdotool mousemove $((l + 13)) $((b - 13)) click 1
  wait_wallpaper "$WALL_BMP_WIN" ||
    fail "a click on the icon: Wallpaper is \"$(wallpaper)\", expected $WALL_BMP_WIN"
  pass "a click on the icon: the wallpaper is the composed file ($((SECONDS - t0)) s)"
  check "TileWallpaper is \"1\": tiled from the primary monitor's top left" \
    reg_is "$QM_DESKTOP_KEY" TileWallpaper REG_SZ 1
  check "WallpaperStyle is \"0\"" reg_is "$QM_DESKTOP_KEY" WallpaperStyle REG_SZ 0
  # The file the desktop value names, as the desktop would read it.
  local named
  named="$WINEPREFIX/drive_c/$(wallpaper | sed 's/^[A-Za-z]:\\//; s/\\/\//g')"
  check "${order[0]} stretched on the left monitor, ${order[1]} on the right, in one picture of both" \
    each_composed_ok "$named" "$first" "$second"
  # The suite's look for a crash, in this prefix, before it goes.
  no_crash
}

# --- the Windows Installer package -------------------------------------------

# What of the prefix an install may touch: every file of drive C (Wine's
# temporary folders aside) and every registry key of the user and the
# machine, with the values that name the program. One line each, sorted.
# Left out: the Windows Installer's own folder and bookkeeping keys, which
# stay behind empty once it has run (anything of a product under them
# still counts), the display driver's keys, which Wine renames, and the
# system parameters Wine keeps for a session.
prefix_listing() {
  {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows/temp -prune -o \
      -path './users/*/Temp' -prune -o -print)
    local hive
    for hive in HKCU HKLM; do
      "$QM_WINE64" reg export "$hive" "$QM_OUT/.listing.reg" /y >/dev/null 2>&1 || return 1
      iconv -f UTF-16LE -t UTF-8 "$QM_OUT/.listing.reg" | tr -d '\r' |
        grep -i -E '^\[|quillmere|brandle' | sed 's/^\(\[.*\]\) [0-9]*$/\1/'
    done
  } | sort | grep -v -x -E '\./windows/Installer|\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)(\\(Features|Products|UpgradeCodes|UserData(\\S-1-5-18(\\Components|\\Products)?)?))?\]|\[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\.*\]|\[HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters(\\.*)?\]'
}

# The installed product's icon (what "Apps" shows) is the program's.
product_icon_is_ours() {
  local icon
  icon="$("$QM_WINE64" reg query 'HKCR\Installer\Products' /s 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *ProductIcon *REG_SZ *//p')"
  [[ -n "$icon" ]] && cmp -s "$WINEPREFIX/drive_c/$(sed 's/^[A-Za-z]:\\//; s/\\/\//g' <<<"$icon")" \
    "$qm_root/res/quillmere.ico"
}

# Leaves out what is the user's: the wallpaper file and its folder.
not_users() { grep -v -i -e 'Quillmere Wallpaper\.bmp' -e '^\./users/[^/]*/AppData/Local/Quillmere$'; }

phase_msi() {
  local bits=64
  [[ "$QM_WINE" == "$QM_WINE64" ]] || bits=32
  local msi zip
  msi="$(ls "$QM_BUILD"/Quillmere-*-win$bits.msi 2>/dev/null | head -n 1)"
  zip="${msi%.msi}.zip"
  if [[ -z "$msi" || ! -f "$zip" ]]; then
    # Run by hand, before any release: make this build's.
    bash "$qm_root/tools/release.sh" "$QM_BUILD" >"$QM_OUT/release.log" 2>&1 ||
      fail "tools/release.sh $QM_BUILD failed (see $QM_OUT/release.log)"
    msi="$(ls "$QM_BUILD"/Quillmere-*-win$bits.msi | head -n 1)"
    zip="${msi%.msi}.zip"
  fi
  local version
  version="$(basename "$msi" | sed 's/^Quillmere-\(.*\)-win[0-9]*\.msi$/\1/')"
  # The same files as an older version, to be upgraded from.
  bash "$qm_root/tools/msi.sh" "$zip" "$QM_OUT/old.msi" 1.9 >/dev/null || fail "no older package"

  # A profile of the user's, which no install or removal may touch.
  local pics_w
  pics_w="$(qm_winpath "$pics")"
  set_profile "Directory:sz:$pics_w" AutoChange:dword:0 Display:dword:0 Stretch:dword:0 \
    Random:dword:0 Time:dword:20 When:dword:0 Width:dword:301 Height:dword:301
  qm_probe reg-set "$QM_DESKTOP_KEY" TileWallpaper:sz:0 Wallpaper:sz:
  prefix_listing | not_users >"$QM_OUT/before-msi.txt" || fail "no listing of the prefix"

  local run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
  local user dir exe_w
  user="$(ls "$WINEPREFIX/drive_c/users" | grep -v -x Public | head -n 1)"
  dir="$WINEPREFIX/drive_c/users/$user/AppData/Local/Programs/Quillmere"
  exe_w="C:\\users\\$user\\AppData\\Local\\Programs\\Quillmere\\Quillmere.exe"
  local lnk="$WINEPREFIX/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quillmere.lnk"

  # An older version without the login entry, then this one over it.
  local t0=$SECONDS
  check "msiexec /i (version 1.9, STARTATLOGIN=0) /qn installs" \
    "$QM_WINE64" msiexec /i "$(qm_winpath "$QM_OUT/old.msi")" STARTATLOGIN=0 /qn
  check "... into %LOCALAPPDATA%\\Programs\\Quillmere" test -f "$dir/Quillmere.exe"
  check "... without the login entry when STARTATLOGIN=0" no_value "$run" Quillmere
  check "msiexec /i $(basename "$msi") /qn upgrades it" "$QM_WINE64" msiexec /i "$(qm_winpath "$msi")" /qn
  echo "     two installs: $((SECONDS - t0)) s"
  check "the installed program is the release's" cmp -s "$dir/Quillmere.exe" \
    <(unzip -p "$zip" "$(basename "$zip" .zip)/Quillmere.exe")
  check "README.txt and the licences beside it" test -f "$dir/README.txt" -a \
    -f "$dir/licenses/libjpeg-turbo-LICENSE.md" -a -f "$dir/licenses/mingw-w64-runtime.txt"
  check "a Start menu shortcut" test -s "$lnk"
  check "the login entry: Run\\Quillmere holds the quoted path" reg_is "$run" Quillmere REG_SZ "\"$exe_w\""
  # One uninstall entry, of this version, with the icon.
  local entries
  # (a 32-bit package's machine entry is in the 32-bit view, Wow6432Node)
  local view uninstall='Microsoft\Windows\CurrentVersion\Uninstall'
  entries="$(for view in "HKLM\\Software\\$uninstall" "HKLM\\Software\\Wow6432Node\\$uninstall" \
    "HKCU\\Software\\$uninstall"; do "$QM_WINE64" reg query "$view" /s 2>/dev/null; done)"
  entries="$(tr -d '\r' <<<"$entries" | awk '/^HKEY/ { key = $0 } /DisplayName +REG_SZ +Quillmere$/ { print key }')"
  check "one uninstall entry after the upgrade" test "$(grep -c . <<<"$entries")" == 1
  local key="${entries//HKEY_LOCAL_MACHINE/HKLM}"
  key="${key//HKEY_CURRENT_USER/HKCU}"
  check "... of version $version" reg_is "$key" DisplayVersion REG_SZ "$version"
  check "... from Brandle Software" reg_is "$key" Publisher REG_SZ "Brandle Software"
  check "... with the program's icon" product_icon_is_ours
  check "the profile is the user's still" reg_is "$QM_CONFIG_KEY" Directory REG_SZ "$pics_w"

  # The installed program, as the login would start it.
  (
    trap qm_stop EXIT
    QM_EXE="$dir/Quillmere.exe"
    QM_WINE="$(qm_wine_for "$QM_EXE")"
    qm_start
    frame="$(qm_wait_frame)" || fail "the installed program shows no frame window"
    check "the installed program's tray icon is drawn" icon_drawn
    qm_click_icon 1
    changed_to "$pics" "${order[0]}" "a click on the installed program's icon"
    check "the desktop shows it" shows_centred msi-click "${order[0]}"
    # The settings' "Start when I log in" is the Run value, read each time.
    local dlg pass_no
    for pass_no in 1 2 3; do
      # Last, an entry of another copy: shown checked, and OK points it here.
      ((pass_no == 3)) && qm_probe reg-set "$run" 'Quillmere:sz:"C:\Old Copy\Quillmere.exe"'
      qm_probe command "$frame" 32772
      dlg="$(wait_hwnd --title 'Quillmere Settings' --class '#32770' --visible --timeout 10000)"
      [[ -n "$dlg" ]] || fail "the Settings command opened no dialog"
      case $pass_no in
        1) check "Start when I log in is checked: the installer's entry" ctrl_checked "$dlg" 1030 1 ;;
        2) check "... and unchecked once OK removed it" ctrl_checked "$dlg" 1030 0 ;;
        3) check "... and checked for another copy's entry" ctrl_checked "$dlg" 1030 1 ;;
      esac
      ((pass_no == 3)) || qm_probe click "$dlg" 1030
      qm_probe click "$dlg" 1
      qm_probe wait-hwnd-gone "$dlg" --timeout 5000 || fail "OK did not close the settings"
      case $pass_no in
        1) check "cleared and OK: the Run value is gone" no_value "$run" Quillmere ;;
        *) check "checked and OK: Run\\Quillmere holds this copy's quoted path" \
             reg_is "$run" Quillmere REG_SZ "\"$exe_w\"" ;;
      esac
    done
    qm_stop
  ) || exit 1

  t0=$SECONDS
  check "msiexec /x /qn removes it" "$QM_WINE64" msiexec /x "$(qm_winpath "$msi")" /qn
  echo "     removal: $((SECONDS - t0)) s"
  check "the login entry is gone" no_value "$run" Quillmere
  # The wallpaper the program showed is the user's, as is its profile.
  prefix_listing | not_users >"$QM_OUT/after-msi.txt"
  # What the removal took that was there before: the Run key, when our
  # value was its last, goes with it.
  comm -23 "$QM_OUT/before-msi.txt" "$QM_OUT/after-msi.txt" | sed 's/^/     gone since: /'
  comm -13 "$QM_OUT/before-msi.txt" "$QM_OUT/after-msi.txt" >"$QM_OUT/msi-left.txt"
  if [[ -s "$QM_OUT/msi-left.txt" ]]; then
    sed 's/^/     left: /' "$QM_OUT/msi-left.txt"
    fail "the removal left files or keys (above)"
  fi
  pass "no file or key of ours is left (listings of drive C and the registry before and after)"
  check "the profile stays" reg_is "$QM_CONFIG_KEY" Directory REG_SZ "$pics_w"
}

run_phase first-start phase_first_start
run_phase foreign-title phase_foreign_title
run_phase clicks phase_clicks
run_phase timer-and-taskbar phase_timer_taskbar
run_phase timer-by-ok phase_timer_by_ok
run_phase nested phase_nested
# Last: it leaves a profile of its own, and first-start needs none.
run_phase twins phase_twins
run_phase tray-dpi phase_tray_dpi
# On a display and in a prefix of its own.
run_phase each-monitor phase_each_monitor
# After every other phase: it installs and removes the release's package.
run_phase msi phase_msi
# A crash late in the last phase.
phase=end
no_crash

passed="$(grep -c '^ok' "$results")"
failed="$(grep -c '^FAIL' "$results")"
echo "=== e2e: $passed passed, $failed failed, $((SECONDS - started)) s (output in $QM_OUT)"
((failed == 0))
