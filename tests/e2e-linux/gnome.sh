#!/usr/bin/env bash
# The Linux program on the real GNOME Shell 43, headless Wayland, with
# Debian's AppIndicator extension as the tray: the program a Wayland client
# (no X display at all), clicked with a pointer made inside the compositor,
# checked through GSettings and the shell's own screenshots. Runs in its own
# dbus-run-session, with a stand-in system bus and temporary HOME and XDG
# folders; every process it starts it ends by its id.
#
#   gnome.sh BUILD_DIR OUT_DIR
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"
ql_env_init "$2" "$1"
if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  QL_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
QL_SUITE=gnome
source "$here/phases.sh"
[[ -x "$QL_BIN" ]] || setup_fail "missing $QL_BIN: build the linux preset first"
command -v gnome-shell >/dev/null || setup_fail "no gnome-shell: run tools/setup.sh"

source "$here/gnome-shell.sh"

teardown() {
  ql_stop
  gnome_shell_stop
}
trap teardown EXIT

# --- the shell ------------------------------------------------------------------

ql_fail_shot() { ql_shell_shot "$1"; }
ql_fail_state() {
  echo "== $BG"
  gsettings list-recursively "$BG"
  gsettings get org.gnome.desktop.interface color-scheme
  echo "== the program's icon: $(icon_key)"
  echo "== status area: $(shell_eval 'Object.keys(Main.panel.statusArea).map(k => { const a = Main.panel.statusArea[k];
    return k + (k.startsWith("appindicator-") ? ` visible=${a.visible} mapped=${a.mapped} size=${a.get_transformed_size()}` : ""); }).join("; ")')"
  echo "== tray items: $(ql_sni_items)"
  echo "== the icon at $(icon_pos 2>/dev/null); the last button events the shell took:"
  shell_eval 'global.qmButtons.join(" | ")' | sed 's/ | /\n/g'
}

menu_open() { shell_true "$(icon_js).menu.isOpen"; }

# The open menu's item whose label matches $1, for Eval.
menu_item_js() {
  echo "$(icon_js).menu._getMenuItems().find(i => i.label && /$1/.test(i.label.text))"
}
menu_item_shown() { shell_true "(() => { const i = $(menu_item_js "$1"); return !!i && i.mapped; })()"; }

# --- the program ------------------------------------------------------------------

BASE_PROFILE=(AutoChange=0 Display=2 Random=0 Time=20 When=0)
samples="$QL_OUT/samples"
ql_make_samples "$samples" || setup_fail "no sample pictures"
halves="$QL_OUT/halves"
mkdir -p "$halves"
ql_make_halves "$halves/halves.jpg" || setup_fail "no sample pictures"

start_with() {  # start_with NAME=VALUE...: that profile, then the program
  gsettings set "$BG" picture-uri "''"
  gsettings set "$BG" picture-uri-dark "''"
  # Each start its own wallpaper folder, so that its pictures come under
  # names this shell never showed: mutter keeps a picture it loaded by its
  # path, and a name that comes back after another picture may show the old
  # one (phases run one after the other in one shell).
  export XDG_DATA_HOME="$QL_OUT/data-$phase-$QL_RUNS"
  ql_set_profile "${BASE_PROFILE[@]}" "$@"
  ql_start
  qm_poll 20 icon_shown || fail "the icon is in the top bar (log: quillmere-$QL_RUNS.log)"
  # An earlier program's icon stays beside the new one until the extension
  # drops it, and the new one then moves into its place: a click aimed
  # before that lands on the bare panel.
  qm_poll 10 only_our_icon || fail "an earlier program's icon leaves the top bar"
}
only_our_icon() {
  icon_key >/dev/null &&
    [[ "$(shell_eval 'Object.keys(Main.panel.statusArea).filter(k => k.startsWith("appindicator-")).length')" == 1 ]]
}

# A double click on the icon, waited for until the screen shows another
# sample than before; prints it.
double_click_change() {
  local before uri
  before="$(ql_shown)"
  uri="$(ql_shell_value)"
  click_icon 2 || return 1
  pointer_away
  # First the program's answer (a new picture in GSettings), then the
  # shell's drawing of it, which a busy machine delays.
  qm_poll 10 eval '[[ "$(ql_shell_value)" != "$uri" ]]' ||
    { echo "double_click_change: GSettings still names '$uri'" >&2; return 1; }
  ql_wait_sample_not "$before" 15
}

# The menu opened by a single click, and the item matching $1 clicked.
menu_pick() {
  click_icon 1 || fail "the icon takes a click"
  qm_poll 5 menu_open || fail "a single click opens the menu"
  qm_poll 5 menu_item_shown "$1" || fail "the menu has an item '$1'"
  click "$(menu_item_js "$1")" 1 || fail "the menu's item '$1' takes a click"
  pointer_away
  qm_poll 5 eval '! menu_open' || fail "the menu closes on '$1'"
}

screen() {  # screen FILE: the shell's screenshot, kept under that name
  ql_shell_shot "$QL_OUT/$1" || fail "the shell takes a screenshot"
  echo "$QL_OUT/$1"
}

# shows CHECK SAMPLE NAME: CHECK holds for a new screenshot kept as NAME.
shows() { ql_shell_shot "$QL_OUT/$3" && "$1" "$2" "$QL_OUT/$3"; }

# The flat sample ($1) centred 1:1: 96 × 72 in the middle of the monitor
# (under the top bar, which the shell draws over the desktop).
centred_1to1() {
  local shot="$2" x0=$(((QL_SCREEN_W - 96) / 2)) y0=$(((QL_SCREEN_H - 72) / 2))
  [[ "$(ql_runs "$shot" row $((QL_SCREEN_H / 2)))" == "x:$x0 $1:96 x:$x0" &&
    "$(ql_runs "$shot" col $((QL_SCREEN_W / 2)))" == "x:$y0 $1:72 x:$y0" ]]
}
# The flat sample ($1) over the whole desktop below the top bar.
fills() {
  local rows
  rows="$(ql_runs "$2" col 20)"
  [[ "$(ql_runs "$2" row $((QL_SCREEN_H - 20)))" == "$1:$QL_SCREEN_W" && "$rows" == *" $1:$((QL_SCREEN_H - 32))" ]]
}
# mutter 43 draws a tile scaled to the monitor's width, from an offset: the
# halves picture tiled fills the row with both halves, not in the middle
# (centred) nor split at the middle (stretched).
mutter_tiled() {  # mutter_tiled Y FILE
  local runs layout
  runs="$(ql_runs "$2" row "$1")"
  layout="$(ql_halves_layout "$2" "$1")"
  [[ "$layout" != centred && "$layout" != stretched && "$runs" == *r:* && "$runs" == *b:* ]] &&
    ! grep -qE 'x:(9|[1-9][0-9]+)( |$)' <<<"$runs"
}
option_is() { [[ "$(gsettings get "$BG" picture-options)" == "'$1'" ]]; }
uri_is_ours() { [[ "$(gsettings get "$BG" "$1")" == "'file://$XDG_DATA_HOME/quillmere/"* ]]; }

# --- phases -----------------------------------------------------------------------

phase_clicks() {
  # Pictures larger than the Auto-Tile thresholds: centred.
  start_with "Directory=$samples" Width=1 Height=1 Stretch=0
  pass "the icon is in the top bar"
  check "start-up by itself changes no wallpaper" test -z "$(ql_shell_value)"
  local first second shot
  first="$(double_click_change)" || fail "a double click shows a picture"
  pass "a double click shows a picture ($first)"
  check "GSettings names our file" uri_is_ours picture-uri
  local first_uri
  first_uri="$(ql_shell_value)"
  check "centred" option_is centered
  shot="$(screen clicks-1.png)"
  check "the shell shows it centred 1:1" centred_1to1 "${first:0:1}" "$shot"
  second="$(double_click_change)" || fail "a second double click shows another"
  pass "a second double click shows another ($second)"
  check "it too centred 1:1" centred_1to1 "${second:0:1}" "$(screen clicks-2.png)"
  check "under a name of its own" test "$(ql_shell_value)" != "$first_uri"
}

double_click() {
  click_icon 2 || fail "the icon takes a double click"
  pointer_away
}
halves_in() { [[ "$(ql_halves_layout "$2" $((QL_SCREEN_H / 2)))" == "$1" ]]; }

# The README's picture over a photo-like wallpaper, filled
# (tools/screenshots-linux.sh runs it).
phase_readme() {
  local photos="$QL_OUT/photos" before
  ql_make_photos "$photos"
  start_with "Directory=$photos" Display=0 Stretch=2
  before="$(ql_shell_value)"
  double_click
  ql_wait_drawn_not "$before" || fail "a double click shows a photo"
  click_icon 1 && qm_poll 5 menu_open && qm_poll 5 menu_item_shown Previous &&
    ql_shell_shot "$QL_OUT/readme-menu.png" || fail "the menu over a photo"
  pass "the menu over a photo"
}

phase_layouts() {
  # Smaller than the thresholds: tiled.
  start_with "Directory=$halves" Width=301 Height=301 Stretch=0
  double_click
  check "small pictures are tiled" qm_poll 10 option_is wallpaper
  check "the shell shows it tiled" qm_poll 10 shows mutter_tiled $((QL_SCREEN_H / 2)) tiled.png
  ql_stop
  start_with "Directory=$halves" Width=1 Height=1 Stretch=1
  double_click
  check "Stretch stretches" qm_poll 10 option_is stretched
  check "the shell shows it stretched" qm_poll 10 shows halves_in stretched stretched.png
  # The README's picture: the menu over the changed desktop.
  click_icon 1 && qm_poll 5 menu_open && qm_poll 5 menu_item_shown Previous &&
    ql_shell_shot "$QL_OUT/menu.png"
  shell_eval "$(icon_js).menu.close(); true" >/dev/null
  qm_poll 5 eval '! menu_open'
  # Filled and fitted, against a resample made apart from the program.
  local size n how option
  ql_make_wide_photo
  for size in "2 fill zoom" "3 fit scaled"; do
    read -r n how option <<<"$size"
    ql_stop
    start_with "Directory=$QL_OUT/wide" Width=1 Height=1 Stretch="$n"
    double_click
    check "Stretch=$n: $option" qm_poll 10 option_is "$option"
    check "the shell shows the photo as a $how resample does" qm_poll 10 shows ql_like_wide "$how" "$how.png"
  done
}

phase_dark() {
  gsettings set org.gnome.desktop.interface color-scheme "'prefer-dark'"
  start_with "Directory=$samples" Width=1 Height=1 Stretch=0
  local shown
  shown="$(double_click_change)" || fail "in dark mode, a double click shows a picture"
  pass "in dark mode, a double click shows a picture ($shown)"
  check "picture-uri-dark names it too" test "$(gsettings get "$BG" picture-uri-dark)" == "$(gsettings get "$BG" picture-uri)"
  check "the shell shows it centred 1:1" centred_1to1 "${shown:0:1}" "$(screen dark.png)"
  gsettings set org.gnome.desktop.interface color-scheme "'default'"
}

phase_menu() {
  start_with "Directory=$samples" Width=1 Height=1 Stretch=0
  local first second
  first="$(double_click_change)" || fail "a double click shows a picture"
  second="$(double_click_change)" || fail "a second double click shows another"
  click_icon 1 || fail "the icon takes a click"
  qm_poll 5 menu_open || fail "a single click opens the menu"
  pass "a single click opens the menu"
  check "the shown picture did not change" test "$(ql_shown)" == "$second"
  shell_eval "$(icon_js).menu.close(); true" >/dev/null
  qm_poll 5 eval '! menu_open'
  menu_pick Previous
  check "Previous shows the picture before" test "$(ql_wait_sample_not "$second" 10)" == "$first"
  menu_pick Tile
  check "Tile Current tiles it" qm_poll 10 option_is wallpaper
  check "the shell shows it over the whole desktop" qm_poll 10 shows fills "${first:0:1}" menu-tiled.png
  menu_pick Center
  check "Center Current centres it" qm_poll 10 option_is centered
  check "the shell shows it centred 1:1" qm_poll 10 shows centred_1to1 "${first:0:1}" menu-centred.png
}

ql_log "starting gnome-shell"
gnome_shell_start || setup_fail "gnome-shell did not start (log: gnome-shell.log)"
run_phase clicks phase_clicks
run_phase layouts phase_layouts
[[ -n "${QL_README_SHOTS:-}" ]] && run_phase readme phase_readme
run_phase dark phase_dark
run_phase menu phase_menu

! grep -q '^FAIL' "$QL_RESULTS"
