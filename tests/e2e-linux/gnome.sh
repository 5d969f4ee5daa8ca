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

QL_SCREEN_W=1280
QL_SCREEN_H=720
QL_DESKTOP=shell
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland
export WAYLAND_DISPLAY=quillmere-e2e
unset DISPLAY
BG=org.gnome.desktop.background
SYSBUS_PID= SHELL_PID=

teardown() {
  ql_stop
  ql_end "$SHELL_PID"
  ql_end "$SYSBUS_PID"
}
trap teardown EXIT

# --- the shell ------------------------------------------------------------------

# Runs JavaScript inside the shell (unsafe mode, turned on by the helper
# extension below); prints its value, JSON as the shell gives it, with the
# quotes of a string taken off. Fails when the shell refuses or throws.
shell_eval() {
  local out
  out="$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "$1" 2>/dev/null)" || return 1
  [[ "$out" == "(true, "* ]] || return 1
  out="${out#(true, \'}"
  out="${out%\')}"
  out="${out#\"}"
  printf '%s\n' "${out%\"}"
}
shell_true() { [[ "$(shell_eval "$1")" == true ]]; }

# The shell's own screenshot (no pointer), with no notification over it.
ql_shell_shot() {
  shell_eval 'Main.messageTray.getSources().forEach(s => s.destroy())' >/dev/null
  rm -f "$1"
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null 2>&1 && [[ -s "$1" ]]
}
ql_fail_shot() { ql_shell_shot "$1"; }
ql_shell_value() { gsettings get "$BG" picture-uri 2>/dev/null | tr -d "'"; }
ql_fail_state() {
  echo "== $BG"
  gsettings list-recursively "$BG"
  gsettings get org.gnome.desktop.interface color-scheme
  echo "== the program's icon: $(icon_key)"
  echo "== status area: $(shell_eval 'Object.keys(Main.panel.statusArea).map(k => { const a = Main.panel.statusArea[k];
    return k + (k.startsWith("appindicator-") ? ` visible=${a.visible} mapped=${a.mapped} size=${a.get_transformed_size()}` : ""); }).join("; ")')"
  echo "== tray items: $(ql_sni_items)"
}

start_shell() {
  # The shell's JavaScript wants a system bus (logind, accounts): a bus of
  # its own stands in for it, with nothing on it.
  dbus-daemon --config-file=/usr/share/dbus-1/session.conf --nofork \
    --address="unix:path=$XDG_RUNTIME_DIR/system_bus" >"$QL_OUT/system-bus.log" 2>&1 &
  SYSBUS_PID=$!
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
  qm_poll 10 test -S "$XDG_RUNTIME_DIR/system_bus" || return 1

  # Unsafe mode, for Eval and the screenshot: 43 has no flag for it.
  local ext="$XDG_DATA_HOME/gnome-shell/extensions/quillmere-e2e@test"
  mkdir -p "$ext"
  cat >"$ext/metadata.json" <<'JSON'
{"uuid": "quillmere-e2e@test", "name": "e2e unsafe mode", "description": "Lets the tests drive the shell", "shell-version": ["43"]}
JSON
  cat >"$ext/extension.js" <<'JS'
function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
JS
  gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'quillmere-e2e@test']"
  gsettings set org.gnome.shell welcome-dialog-last-shown-version "'43.9'"
  gsettings set org.gnome.desktop.notifications show-banners false
  gsettings set org.gnome.desktop.session idle-delay 0
  gsettings set org.gnome.desktop.interface enable-animations false
  # A black desktop with no picture: what "nothing shown" looks like.
  gsettings set "$BG" picture-uri "''"
  gsettings set "$BG" picture-uri-dark "''"
  gsettings set "$BG" color-shading-type solid
  gsettings set "$BG" primary-color "'#000000'"

  local t0=$SECONDS
  gnome-shell --headless --wayland --no-x11 --virtual-monitor "${QL_SCREEN_W}x${QL_SCREEN_H}" \
    --wayland-display="$WAYLAND_DISPLAY" >"$QL_OUT/gnome-shell.log" 2>&1 &
  SHELL_PID=$!
  # It starts in the overview: hidden before its start-up ends, it comes back.
  qm_poll 60 shell_true '!Main.layoutManager._startingUp && !Main.overview.animationInProgress' ||
    return 1
  shell_eval 'Main.overview.hide()' >/dev/null
  qm_poll 10 shell_true '!Main.overview.visible' || return 1
  # The tray: the extension's watcher, with the shell as its host.
  qm_poll 20 ql_sni_host || return 1
  # A pointer inside the compositor; mutter adds it asynchronously.
  shell_eval 'global.qmPointer = imports.gi.Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(imports.gi.Clutter.InputDeviceType.POINTER_DEVICE); true' >/dev/null ||
    return 1
  sleep 1
  ql_log "gnome-shell ready in $((SECONDS - t0)) s"
}

# The key of the program's icon in the top bar: the extension's item whose
# connection is the program's process (an earlier program's may linger).
icon_key() {
  local key name pid
  for key in $(shell_eval 'Object.keys(Main.panel.statusArea).filter(k => k.startsWith("appindicator-")).join(" ")'); do
    name="${key#appindicator-}"
    pid="$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "${name%%@*}" 2>/dev/null |
      sed -n 's/^(uint32 \([0-9]*\),)$/\1/p')"
    [[ -n "$pid" && "$pid" == "$QL_PID" ]] && { echo "$key"; return 0; }
  done
  return 1
}

# "X Y" of the centre of the program's icon in the top bar.
icon_pos() {
  local key
  key="$(icon_key)" || return 1
  shell_eval '(() => {
    const icon = Main.panel.statusArea["'"$key"'"];
    if (!icon || !icon.visible || !icon.mapped) return "";
    const [x, y] = icon.get_transformed_position(), [w, h] = icon.get_transformed_size();
    return w > 0 ? `${Math.round(x + w / 2)} ${Math.round(y + h / 2)}` : "";
  })()' | grep -E '^[0-9]+ [0-9]+$'
}
icon_shown() { icon_pos >/dev/null; }
# The icon's actor, for Eval.
icon_js() { echo "Main.panel.statusArea[\"$(icon_key)\"]"; }

# click ACTOR [COUNT]: the primary button COUNT times (2: a double click) on
# the middle of ACTOR (JavaScript that yields the actor). The pointer is
# moved there first, and the buttons go only once the actor has taken the
# hover: a press sent with the motion goes to whatever mutter still has
# under the pointer (the desktop, the Activities button), and never reaches
# the icon. The move is made again, to where the actor is then, until it
# has the hover: an icon that has just come may still be sliding into its
# place, and a pointer left where it was only passes over. Each event is
# stamped with the clock's time when it is sent: a stamp ahead of the clock
# is a time mutter has not reached yet.
click() {
  local actor="$1" count="${2:-1}"
  shell_true "!!($actor) && ($actor).mapped" || { echo "click: no $actor to click" >&2; return 1; }
  qm_poll 5 shell_true "(() => {
    const a = $actor;
    if (!a || !a.mapped) return false;
    if (a.hover) return true;
    const [x, y] = a.get_transformed_position(), [w, h] = a.get_transformed_size();
    // A pixel to one side every other time: a move to where the pointer
    // already is makes no motion at all.
    global.qmNudge = !global.qmNudge;
    global.qmPointer.notify_absolute_motion(imports.gi.GLib.get_monotonic_time(),
      Math.round(x + w / 2) + (global.qmNudge ? 1 : 0), Math.round(y + h / 2));
    return false;
  })()" ||
    { echo "click: the pointer's hover never reached $actor" >&2; return 1; }
  shell_true "(() => {
    const C = imports.gi.Clutter, now = imports.gi.GLib.get_monotonic_time;
    for (let i = 0; i < $count; i++) {
      global.qmPointer.notify_button(now(), C.BUTTON_PRIMARY, C.ButtonState.PRESSED);
      global.qmPointer.notify_button(now(), C.BUTTON_PRIMARY, C.ButtonState.RELEASED);
    }
    return true;
  })()"
}
# A click on the program's icon, once no menu of the top bar is open: a
# press while one is, the shell takes as the click that closes it.
click_icon() {
  qm_poll 5 shell_true '!Main.panel.menuManager.activeMenu' ||
    { echo "click_icon: a menu of the top bar stays open" >&2; return 1; }
  click "$(icon_js)" "${1:-1}"
}
# The pointer off the top bar, so no tooltip covers what a screenshot checks.
pointer_away() {
  shell_eval "global.qmPointer.notify_absolute_motion(imports.gi.GLib.get_monotonic_time(), 40, $((QL_SCREEN_H - 40))); true" \
    >/dev/null
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
start_shell || setup_fail "gnome-shell did not start (log: gnome-shell.log)"
run_phase clicks phase_clicks
run_phase layouts phase_layouts
[[ -n "${QL_README_SHOTS:-}" ]] && run_phase readme phase_readme
run_phase dark phase_dark
run_phase menu phase_menu

! grep -q '^FAIL' "$QL_RESULTS"
