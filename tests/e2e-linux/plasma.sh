#!/usr/bin/env bash
# The Linux program on the real Plasma 5.27 shell (plasmashell, its panel's
# system tray and its desktop) on Xvfb with openbox: clicked with xdotool,
# checked through the shell's own scripting (evaluateScript) and the
# screen's pixels. Runs in its own dbus-run-session, with temporary HOME and
# XDG folders; every process it starts it ends by its id.
#
#   plasma.sh BUILD_DIR OUT_DIR
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"
ql_env_init "$2" "$1"
if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  QL_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
QL_SUITE=plasma
source "$here/phases.sh"
[[ -x "$QL_BIN" ]] || setup_fail "missing $QL_BIN: build the linux preset first"
command -v plasmashell >/dev/null || setup_fail "no plasmashell: run tools/setup.sh"

QL_DESKTOP=shell
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 XDG_SESSION_TYPE=x11
# Qt Quick without GL: a third of the CPU llvmpipe costs.
export QT_QUICK_BACKEND=software
SHELL_PID=

teardown() {
  ql_stop
  ql_end "$SHELL_PID"
  ql_teardown
}
trap teardown EXIT

# --- the shell ------------------------------------------------------------------

# Runs a script in the shell's scripting engine; prints what it printed.
evaluate() {
  local out
  out="$(gdbus call --session --dest org.kde.plasmashell --object-path /PlasmaShell \
    --method org.kde.PlasmaShell.evaluateScript "$1" 2>&1)" || { echo "$out" >&2; return 1; }
  out="${out#(\'}"
  printf '%s\n' "${out%\',)}"
}
IMAGE_GROUP="d.currentConfigGroup = ['Wallpaper', 'org.kde.image', 'General']"
# "IMAGE FILLMODE" of the first desktop.
plasma_wallpaper() {
  evaluate "var d = desktops()[0]; $IMAGE_GROUP; print(d.readConfig('Image') + ' ' + d.readConfig('FillMode'))" |
    tr -d '\n'
}
ql_shell_value() { plasma_wallpaper | sed 's/ [0-9]*$//'; }
ql_shell_shot() { import -window root "$1" 2>/dev/null; }
ql_fail_shot() { ql_shell_shot "$1"; }
ql_fail_state() {
  echo "== plasma: $(plasma_wallpaper)"
  echo "== tray items: $(ql_sni_items)"
}

# A black desktop with no picture: what "nothing shown" looks like.
desktop_reset() {
  evaluate "desktops().forEach(d => { d.wallpaperPlugin = 'org.kde.color';
    d.currentConfigGroup = ['Wallpaper', 'org.kde.color', 'General']; d.writeConfig('Color', '#000000'); })" \
    >/dev/null && qm_poll 10 eval '[[ "$(ql_shown)" == none ]]'
}
shell_ready() { [[ "$(evaluate 'print(desktops().length)')" =~ ^[1-9] ]]; }

start_shell() {
  local t0=$SECONDS
  # The services the bus starts (kactivitymanagerd, kglobalaccel, kded5)
  # are Qt programs of this display and desktop.
  local var vars=
  for var in DISPLAY XDG_CURRENT_DESKTOP KDE_FULL_SESSION KDE_SESSION_VERSION XDG_SESSION_TYPE QT_QUICK_BACKEND; do
    vars+="${vars:+, }'$var': '${!var}'"
  done
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.UpdateActivationEnvironment "{$vars}" >/dev/null || return 1
  plasmashell --no-respawn >"$QL_OUT/plasmashell-$((++SHELL_RUNS)).log" 2>&1 &
  SHELL_PID=$!
  qm_poll 60 shell_ready || return 1
  desktop_reset || return 1
  # kded's StatusNotifierWatcher, started by the bus, with the panel's tray.
  qm_poll 30 ql_sni_host || return 1
  qm_poll 30 panel_window || return 1
  ql_log "plasmashell ready in $((SECONDS - t0)) s"
}
SHELL_RUNS=0

# The panel: plasmashell's dock window.
panel_window() {
  local w
  for w in $(xdotool search --onlyvisible --class '^plasmashell$' 2>/dev/null); do
    if xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DOCK; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# "X Y" of the program's icon in the panel: the bounding box of its sky (pure
# aqua) in the panel's pixels.
icon_pos() {
  local panel x y w h box bw bh bx by
  panel="$(panel_window)" || return 1
  read -r x y w h < <(ql_geometry "$panel")
  box="$(import -window root -crop "${w}x${h}+${x}+${y}" +repage png:- 2>/dev/null |
    convert - -fill black -fuzz 8% +opaque '#00ffff' -trim -format '%w %h %X %Y' info: 2>/dev/null)"
  read -r bw bh bx by <<<"$box"
  [[ -n "$bw" ]] && ((bw >= 4 && bh >= 2)) || return 1
  echo "$((x + ${bx#+} + bw / 2)) $((y + ${by#+} + bh / 2))"
}
icon_shown() { icon_pos >/dev/null; }

# --- the program ------------------------------------------------------------------

BASE_PROFILE=(AutoChange=0 Display=2 Random=0 Time=20 When=0)
samples="$QL_OUT/samples"
ql_make_samples "$samples" || setup_fail "no sample pictures"
halves="$QL_OUT/halves"
mkdir -p "$halves"
ql_make_halves "$halves/halves.jpg" || setup_fail "no sample pictures"

start_with() {  # start_with NAME=VALUE...: that profile, then the program
  # (Where scripts are refused, the desktop stays as it is.)
  desktop_reset 2>/dev/null
  ql_set_profile "${BASE_PROFILE[@]}" "$@"
  ql_start
  qm_poll 20 icon_shown || fail "the icon is in the panel (log: quillmere-$QL_RUNS.log)"
}

# A left click on the icon, waited for until the screen shows another
# sample than before; prints it.
click_change() {
  local before pos image
  before="$(ql_shown)"
  image="$(ql_shell_value)"
  pos="$(icon_pos)" || return 1
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 1
  ql_mouse_away
  # First the program's answer (a new picture in Plasma's record), then the
  # shell's drawing of it, which a busy machine delays.
  qm_poll 10 eval '[[ "$(ql_shell_value)" != "$image" ]]' ||
    { echo "click_change: Plasma still names '$image'" >&2; return 1; }
  ql_wait_sample_not "$before" 15
}

# The menu opened by a right click, and the item with access key $1 picked.
menu_pick() {
  local pos menu=
  pos="$(icon_pos)" || fail "the icon is in the panel"
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 3
  qm_poll 5 menu_window || fail "a right click opens the menu"
  sleep 0.3
  xdotool key --clearmodifiers "$1"
  qm_poll 5 eval '! menu_window' || fail "the menu closes on its key $1"
  ql_mouse_away
}
# The menu the panel draws from the one the program exports: a popup of
# plasmashell's, taller than a tooltip.
menu_window() {
  local w
  for w in $(xdotool search --onlyvisible --class '^plasmashell$' 2>/dev/null); do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' &&
      (($(xwininfo -id "$w" | awk '/^  Height/ {print $NF}') > 60)); then
      echo "$w"
      return 0
    fi
  done
  return 1
}

screen() {  # screen NAME: a screenshot kept under that name; prints its path
  ql_shell_shot "$QL_OUT/$1" || fail "a screenshot"
  echo "$QL_OUT/$1"
}
shows() { ql_shell_shot "$QL_OUT/$3" && "$1" "$2" "$QL_OUT/$3"; }
fill_mode_is() { [[ "$(plasma_wallpaper)" == *" $1" ]]; }
image_is_ours() { [[ "$(ql_shell_value)" == "file://$XDG_DATA_HOME/quillmere/"* ]]; }
# halves_layout LAYOUT FILE: the halves picture in that layout (centred: 1:1
# in the middle).
halves_layout() {
  local x0=
  [[ "$1" == centred ]] && x0=$(((QL_SCREEN_W - 96) / 2))
  [[ "$(ql_halves_layout "$2" $((QL_SCREEN_H / 2)) "$x0")" == "$1" ]]
}
click_icon() {
  local pos
  pos="$(icon_pos)" || fail "the icon is in the panel"
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 1
  ql_mouse_away
}

# The flat sample $1 centred 1:1 in the middle of the screen.
centred_1to1() {
  local x0=$(((QL_SCREEN_W - 96) / 2)) y0=$(((QL_SCREEN_H - 72) / 2))
  [[ "$(ql_runs "$2" row $((QL_SCREEN_H / 2)))" == "x:$x0 $1:96 x:$x0" &&
    "$(ql_runs "$2" col $((QL_SCREEN_W / 2)))" == "x:$y0 $1:72 x:"* ]]
}
# The flat sample $1 across the whole width, top to the panel.
fills() {
  [[ "$(ql_runs "$2" row $((QL_SCREEN_H / 2)))" == "$1:$QL_SCREEN_W" && "$(ql_runs "$2" col 20)" == "$1:"* ]]
}

# --- phases -----------------------------------------------------------------------

phase_clicks() {
  # Two JPEGs: each change converts into the same file, which Plasma, caching
  # by name, would not show again.
  local jpegs="$QL_OUT/jpegs"
  mkdir -p "$jpegs"
  cp "$samples/a-red.jpg" "$samples/b-green.jpg" "$jpegs/"
  start_with "Directory=$jpegs" Width=1 Height=1 Stretch=0
  pass "the icon is in the panel"
  check "start-up by itself changes no wallpaper" test "$(ql_shown)" == none
  local first second third v1 v2
  first="$(click_change)" || fail "a left click shows a picture"
  pass "a left click shows a picture ($first)"
  check "Plasma's desktop names our file" image_is_ours
  check "Centered" fill_mode_is 6
  check "shown 1:1 in the middle" centred_1to1 "${first:0:1}" "$(screen clicks-1.png)"
  cp "$QL_OUT/clicks-1.png" "$QL_OUT/desktop.png"
  v1="$(ql_shell_value)"
  second="$(click_change)" || fail "a second click shows the other JPEG"
  pass "a second click shows the other JPEG ($second)"
  # The screen may show the new picture before the shell's own record of it
  # reads back: that record is waited for.
  check "under a name of its own" qm_poll 10 eval '[[ "$(ql_shell_value)" != "$v1" ]]'
  v2="$(ql_shell_value)"
  third="$(click_change)" || fail "a third click shows the first again"
  check "a third click shows the first again" test "$third" == "$first"
  check "under a name never given before" qm_poll 10 eval \
    '[[ "$(ql_shell_value)" == file://* && "$(ql_shell_value)" != "$v1" && "$(ql_shell_value)" != "$v2" ]]'
}

# layout_shown FILLMODE LAYOUT NAME: after a click, Plasma's value and the
# halves picture on the screen in that layout.
layout_shown() {
  click_icon
  check "FillMode $1" qm_poll 10 fill_mode_is "$1"
  check "the desktop shows it $2" qm_poll 10 shows halves_layout "$2" "$3"
}

phase_layouts() {
  start_with "Directory=$halves" Width=1 Height=1 Stretch=0
  layout_shown 6 centred centred.png
  ql_stop
  start_with "Directory=$halves" Width=301 Height=301 Stretch=0
  layout_shown 3 tiled tiled.png
  ql_stop
  start_with "Directory=$halves" Width=1 Height=1 Stretch=1
  layout_shown 0 stretched stretched.png
  ql_stop
  # Larger than the screen, centred: Plasma scales it down to fit (1:1, it
  # would fill the screen's height).
  local big="$QL_OUT/big"
  mkdir -p "$big"
  convert "$halves/halves.jpg" -filter point -resize 2048x768\! "$big/big.jpg"
  start_with "Directory=$big" Width=1 Height=1 Stretch=0
  click_icon
  check "FillMode 6" qm_poll 10 fill_mode_is 6
  check "a picture larger than the screen is scaled down to fit" qm_poll 10 shows column_is "x:192 r:384 x:192" big.png
  # Filled and fitted, against a resample made apart from the program.
  local size n how mode
  ql_make_wide_photo
  for size in "2 fill 2" "3 fit 1"; do
    read -r n how mode <<<"$size"
    ql_stop
    start_with "Directory=$QL_OUT/wide" Width=1 Height=1 Stretch="$n"
    click_icon
    check "Stretch=$n: FillMode $mode" qm_poll 10 fill_mode_is "$mode"
    check "the shell shows the photo as a $how resample does" qm_poll 10 shows ql_like_wide "$how" "$how.png"
  done
  # A picture per screen finds each screen's desktop by its place.
  local size
  size="$(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) .*/\1 \2/p')"
  check "the shell gives a desktop's screen's place" test \
    "$(evaluate 'var g = screenGeometry(desktops()[0].screen); print([g.x, g.y, g.width, g.height].join(" "))')" == "0 0 $size"
}
column_is() { [[ "$(ql_runs "$2" col 100)" == "$1" ]]; }

# The README's picture over a photo-like wallpaper, filled
# (tools/screenshots-linux.sh runs it).
phase_readme() {
  local photos="$QL_OUT/photos" before pos
  ql_make_photos "$photos"
  start_with "Directory=$photos" Display=0 Stretch=2
  before="$(ql_shell_value)"
  click_icon
  ql_wait_drawn_not "$before" || fail "a click shows a photo"
  pos="$(icon_pos)" || fail "the icon is in the panel"
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 3
  qm_poll 5 menu_window || fail "a right click opens the menu"
  sleep 0.5
  ql_shell_shot "$QL_OUT/readme-menu.png"
  xdotool key Escape
  pass "the menu over a photo"
}

phase_menu() {
  start_with "Directory=$samples" Width=1 Height=1 Stretch=0
  local first second
  first="$(click_change)" || fail "a click shows a picture"
  second="$(click_change)" || fail "a second click shows another"
  menu_pick p
  check "Previous shows the picture before" test "$(ql_wait_sample_not "$second" 10)" == "$first"
  menu_pick t
  check "Tile Current Paper: Tiled" qm_poll 10 fill_mode_is 3
  check "the desktop shows it tiled" qm_poll 10 shows fills "${first:0:1}" menu-tiled.png
  # The README's picture: the menu over the changed desktop.
  # shellcheck disable=SC2046
  xdotool mousemove $(icon_pos) click 3
  qm_poll 5 menu_window && sleep 0.5 && ql_shell_shot "$QL_OUT/menu.png"
  xdotool key Escape
  qm_poll 5 eval '! menu_window'
  menu_pick c
  check "Center Current Paper: Centered" qm_poll 10 fill_mode_is 6
  check "the desktop shows it centred 1:1" qm_poll 10 shows centred_1to1 "${first:0:1}" menu-centred.png
}

phase_refusal() {
  # Scripts locked by the administrator (Kiosk): Plasma refuses every
  # evaluateScript, as a locked-down desktop does.
  ql_end "$SHELL_PID"
  SHELL_PID=
  cat >>"$XDG_CONFIG_HOME/kdeglobals" <<'INI'
[KDE Action Restrictions][$i]
plasma-desktop/scripting_console=false
INI
  plasmashell --no-respawn >"$QL_OUT/plasmashell-locked.log" 2>&1 &
  SHELL_PID=$!
  qm_poll 60 panel_window || fail "plasmashell starts again, locked"
  check "Plasma refuses scripts now" eval '! evaluate "print(1)"'
  start_with "Directory=$samples" Width=1 Height=1 Stretch=0
  local before pos box text
  before="$(ql_shown)"
  pos="$(icon_pos)"
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 1
  box="$(ql_wait_window '^Quillmere$' 10)" || fail "a refused change gets a message box"
  text="$(ql_box_text "$box")"
  check "which says '$NOT_SHOWN'" test "$text" == "$NOT_SHOWN"
  xdotool windowactivate --sync "$box" key --clearmodifiers Return >/dev/null 2>&1
  check "Enter closes it" qm_poll 5 eval '! xwininfo -id '"$box"' 2>/dev/null | grep -q IsViewable'
  check "the desktop did not change" test "$(ql_shown)" == "$before"
  check "the program runs on" kill -0 "$QL_PID"
}

NOT_SHOWN="$(sed -n 's/^ *IDS_WALLPAPER_NOT_SHOWN *"\(.*\)"$/\1/p' "$ql_root/res/quillmere.rc")"
ql_display_start || setup_fail "no display"
ql_log "starting plasmashell"
start_shell || setup_fail "plasmashell did not start (log: plasmashell-1.log)"
run_phase clicks phase_clicks
run_phase layouts phase_layouts
run_phase menu phase_menu
[[ -n "${QL_README_SHOTS:-}" ]] && run_phase readme phase_readme
# Last: it locks the shell's scripting for good.
run_phase refusal phase_refusal

! grep -q '^FAIL' "$QL_RESULTS"
