#!/usr/bin/env bash
# One tray host's end-to-end session, run by run-e2e.sh: temporary HOME and
# XDG folders, then (in them) a dbus-run-session of its own, Xvfb, openbox
# and the host, then the phases, each with a fresh profile and its own
# start of the program.
#
#   session.sh trayer|xfce BUILD_DIR OUT_DIR
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

host="$1"
ql_env_init "$3" "$2"
# The bus starts inside the temporary folders: the services it starts
# (xfconfd, dconf) inherit its environment, and must not reach the real
# user's configuration.
if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  QL_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
[[ -x "$QL_BIN" ]] || { echo "missing $QL_BIN: build the linux preset first" >&2; exit 1; }
if [[ "$host" == xfce ]]; then
  QL_DESKTOP=xfce
  export XDG_CURRENT_DESKTOP=XFCE
fi
results="$QL_OUT/results.txt"
: >"$results"
trap 'ql_end "$QL_XFDESKTOP_PID"; ql_teardown' EXIT
ql_display_start || { echo "FAIL setup: no display" | tee -a "$results"; exit 1; }
ql_host_start "$host" || { echo "FAIL setup: $host did not start" | tee -a "$results"; exit 1; }
if [[ "$host" == xfce ]]; then
  # The real xfdesktop draws the picture xfconf names: the phases look at
  # the screen. Its backdrop for the screen's one monitor starts black,
  # with no picture and no desktop icons.
  xfconf-query -c xfce4-desktop -p "$QL_XFCE_IMAGE" -n -t string -s "" &&
    xfconf-query -c xfce4-desktop -p "${QL_XFCE_IMAGE%/last-image}/image-style" -n -t int -s 5 &&
    xfconf-query -c xfce4-desktop -p "${QL_XFCE_IMAGE%/last-image}/color-style" -n -t int -s 0 &&
    xfconf-query -c xfce4-desktop -p "${QL_XFCE_IMAGE%/last-image}/rgba1" -n \
      -t double -s 0 -t double -s 0 -t double -s 0 -t double -s 1 &&
    xfconf-query -c xfce4-desktop -p /desktop-icons/style -n -t int -s 0 ||
    { echo "FAIL setup: no xfconf" | tee -a "$results"; exit 1; }
  ql_xfdesktop_start || { echo "FAIL setup: xfdesktop did not start" | tee -a "$results"; exit 1; }
fi

samples="$QL_OUT/samples"
ql_make_samples "$samples"
empty="$QL_OUT/empty"
mkdir -p "$empty"

MSG_NO_IMAGES="Change the Settings to a Directory that Contains Images"
# No automatic change unless a phase asks for one.
BASE_PROFILE=("Directory=$samples" AutoChange=0 Display=2 Height=301 Width=301 Random=0
  Stretch=0 Time=20 When=0)

# --- reporting ----------------------------------------------------------------

QL_SUITE="$host"
ql_fail_shot() { ql_shot "$1"; }
ql_fail_state() {
  echo "== desktop value: $(ql_desktop_value)  shown: $(ql_shown)"
  ql_input_state
  # Whether the program's loop still runs: a round trip on the bus.
  [[ -n "${QL_PID:-}" ]] && echo "== program $QL_PID: state $(awk '{print $3}' "/proc/$QL_PID/stat" 2>&1)," \
    "in $(cat "/proc/$QL_PID/wchan" 2>&1), answers on the bus: $(timeout 5 gdbus introspect --session \
      --dest com.brandlesoftware.Quillmere --object-path / >/dev/null 2>&1 && echo yes || echo no)"
}
source "$here/phases.sh"

# --- steps --------------------------------------------------------------------

start_with() {  # start_with NAME=VALUE...: that profile, then the program
  ql_desktop_reset
  ql_set_profile "$@"
  ql_start
  ql_wait_frame >/dev/null || fail "the program starts (log: quillmere-$QL_RUNS.log)"
  qm_poll 15 ql_icon_shown || fail "the icon is shown on $host"
}

# Keys to a window of the program, activated first.
keys_to() {
  local w="$1"
  shift
  xdotool windowactivate --sync "$w" >/dev/null 2>&1
  local k
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    # Each key handled before the next (an Alt still held spoils Enter).
    sleep 0.2
  done
}

type_to() {  # type_to WINDOW TEXT: into its focused box, replacing it
  xdotool windowactivate --sync "$1" >/dev/null 2>&1
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 20 "$2"
}

# Opens the menu with a right click on the icon; prints the menu's window.
open_menu() {
  ql_click_icon 3 || return 1
  local i w
  for ((i = 0; i < 50; i++)); do
    w="$(ql_menu_window)" && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

menu_pick() {  # menu_pick LETTER: the item's access key
  local menu
  menu="$(open_menu)" || fail "a right click opens the menu"
  xdotool key --clearmodifiers "$1"
}

# The box titled $1 shows text $2; closes it with Enter.
box_says() {
  local w text
  w="$(ql_wait_window "$1" 10)" || return 1
  text="$(ql_box_text "$w")"
  [[ "$text" == "$2" ]] || { echo "box text: '$text'" >&2; return 1; }
  keys_to "$w" Return
  qm_poll 5 ql_no_window_id "$w"
}
ql_no_window_id() { ! xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }

icon_gone() { ! ql_icon_pos; }

profile_is() {  # profile_is NAME VALUE
  [[ "$(ql_profile "$1")" == "$2" ]]
}
# The profile is written once the dialog's result has been applied.
profile_becomes() { qm_poll 5 profile_is "$@"; }

# Clicks the icon and waits for a change from what was shown; prints it.
click_change() {
  local before
  before="$(ql_shown)"
  ql_click_icon 1 || return 1
  ql_wait_shown_not "$before" 10
}

# --- phases -------------------------------------------------------------------

phase_first_start() {
  ql_desktop_reset
  rm -f "$QL_PROFILE"
  # First run: no profile. The folder defaults to the one started in, which
  # holds no pictures.
  ql_start "$empty"
  ql_wait_frame >/dev/null || fail "the program starts"
  check "an empty folder gets its message, captioned Quillmere" box_says '^Quillmere$' "$MSG_NO_IMAGES"
  local dlg
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "then the settings dialog opens"
  pass "then the settings dialog opens"
  check "the constructor wrote the defaults at once" profile_is Time 20
  check "the folder's default is the one started in" profile_is Directory "$empty"
  check "start-up changed no wallpaper" test -z "$(ql_desktop_value)"
  keys_to "$dlg" alt+f
  type_to "$dlg" "$samples"
  keys_to "$dlg" Return
  check "OK closes the dialog" qm_poll 5 ql_no_window_id "$dlg"
  check "OK stored the folder" profile_becomes Directory "$samples"
  check "the icon is on $host" qm_poll 15 ql_icon_shown
  local shown
  shown="$(click_change)" || fail "a left click shows a picture"
  pass "a left click shows a picture ($shown)"
  check "the desktop records it" test -n "$(ql_desktop_value)"
}

phase_clicks() {
  start_with "${BASE_PROFILE[@]}"
  local first second third fourth v1 v2
  sleep 1
  check "start-up by itself changes no wallpaper" test -z "$(ql_desktop_value)"
  first="$(click_change)" || fail "click 1 shows a picture"
  v1="$(ql_desktop_value)"
  second="$(click_change)" || fail "click 2 shows another"
  v2="$(ql_desktop_value)"
  check "the desktop records each change" test -n "$v1" -a -n "$v2"
  if [[ "$QL_DESKTOP" == xfce ]]; then
    # A new name each time, so that xfdesktop sees a change.
    check "with a new picture file each time" test "$v1" != "$v2"
  fi
  third="$(click_change)" || fail "click 3 shows another"
  [[ "$first $second $third" =~ red && "$first $second $third" =~ green &&
    "$first $second $third" =~ blue ]] || fail "three clicks show the three pictures ($first $second $third)"
  pass "three clicks show the three pictures in turn ($first $second $third)"
  fourth="$(click_change)" || fail "click 4"
  check "the fourth starts the list again" test "$fourth" == "$first"
  # A double click is two changes: the press and the double click.
  ql_click_icon 1 2
  sleep 2
  check "a double click changes twice" test "$(ql_shown)" == "$third"
  if ls "$XDG_DATA_HOME/quillmere/"*.bmp >/dev/null 2>&1; then
    pass "the JPEGs were converted into the data folder"
  else
    fail "the JPEGs were converted into the data folder"
  fi
}

# Tiled: the corner shows the picture too; centred: only the middle does.
layout_is() {
  case "$QL_DESKTOP" in
    root)
      local corner
      corner="$(ql_shown 20 $((QL_SCREEN_H - 20)))"
      if [[ "$1" == tiled ]]; then [[ "$corner" == "$(ql_shown)" ]]; else [[ "$corner" != "$(ql_shown)" ]]; fi
      ;;
    xfce)
      # xfconf's style, and xfdesktop's pixels.
      local style corner
      style="$(xfconf-query -c xfce4-desktop -p "${QL_XFCE_IMAGE%/last-image}/image-style" 2>/dev/null)"
      corner="$(ql_shown 20 $((QL_SCREEN_H - 20)))"
      if [[ "$1" == tiled ]]; then
        [[ "$style" == 2 && "$corner" == "$(ql_shown)" ]]
      else
        [[ "$style" == 1 && "$corner" != "$(ql_shown)" ]]
      fi
      ;;
  esac
}

# The open menu $1 with the icon it belongs to, cut from the screen into $2.
shot_menu() {
  local mx my mw mh ix iy
  read -r mx my mw mh < <(ql_geometry "$1")
  read -r ix iy < <(ql_icon_pos)
  local left=$(((mx < ix ? mx : ix) - 24)) right=$(((mx + mw > ix ? mx + mw : ix) + 24))
  ((left < 0)) && left=0
  ((right > QL_SCREEN_W)) && right=$QL_SCREEN_W
  import -window root -crop "$((right - left))x$((my + mh + 16))+$left+0" +repage "$2"
}

phase_menu() {
  start_with "${BASE_PROFILE[@]}"
  local a b
  a="$(click_change)" || fail "a click shows a picture"
  b="$(click_change)" || fail "a second click shows another"
  local menu
  menu="$(open_menu)" || fail "a right click opens the menu"
  pass "a right click opens the menu"
  sleep 0.5
  shot_menu "$menu" "$QL_OUT/menu.png"
  xdotool key --clearmodifiers p
  check "Previous shows the picture before" test "$(ql_wait_shown_not "$b" 10)" == "$a"
  menu_pick c
  sleep 1
  check "Center Current Paper centres it" qm_poll 10 layout_is centred
  menu_pick t
  check "Tile Current Paper tiles it" qm_poll 10 layout_is tiled
  # A right click soon after another whose menu closed meanwhile: Qt makes
  # a double click of the two presses, which opens the menu all the same,
  # and it stays open.
  local pos
  pos="$(ql_icon_pos)" || fail "the icon is in the tray"
  # shellcheck disable=SC2086
  xdotool mousemove $pos click 3
  qm_poll 5 ql_menu_window || fail "a right click opens the menu"
  xdotool key --clearmodifiers Escape
  qm_poll 5 eval '! ql_menu_window' || fail "Escape closes the menu"
  xdotool click 3
  check "a right click soon after another opens the menu" qm_poll 5 ql_menu_window
  sleep 0.5
  check "which stays open" ql_menu_window
  xdotool key --clearmodifiers Escape
  qm_poll 5 eval '! ql_menu_window'
  menu_pick s
  local dlg
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "Settings opens the settings dialog"
  pass "Settings opens the settings dialog"
  sleep 0.3
  ql_shot_window "$dlg" "$QL_OUT/settings.png"
  keys_to "$dlg" alt+h
  type_to "$dlg" 555
  keys_to "$dlg" Escape
  check "Escape closes it" qm_poll 5 ql_no_window_id "$dlg"
  check "and changes nothing" profile_is Height 301
  menu_pick a
  dlg="$(ql_wait_window '^About Quillmere 2.0$' 10)" || fail "About opens the about box"
  pass "About opens the about box"
  sleep 0.3
  ql_shot_window "$dlg" "$QL_OUT/about.png"
  keys_to "$dlg" Return
  check "Enter closes it" qm_poll 5 ql_no_window_id "$dlg"
  ql_set_profile "Directory=/elsewhere"
  menu_pick x
  check "Exit ends the program" qm_wait_exit "$QL_PID" 10
  wait "$QL_PID"
  check "with status 0" test $? -eq 0
  QL_PID=
  check "and saves the settings" profile_becomes Directory "$samples"
  check "all nine" test "$(grep -c -E '^(AutoChange|Directory|Display|Height|Random|Stretch|Time|When|Width)=' "$QL_PROFILE")" -eq 9
  check "its icon is gone" qm_poll 5 icon_gone
}

phase_settings() {
  start_with "${BASE_PROFILE[@]}"
  menu_pick s
  local dlg
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "the settings dialog opens"
  keys_to "$dlg" alt+e
  type_to "$dlg" abc
  keys_to "$dlg" Return
  check "a non-number is refused" box_says '^Quillmere$' "Please enter an integer."
  type_to "$dlg" 0
  keys_to "$dlg" Return
  check "an interval of 0 is refused" box_says '^Quillmere$' "Please enter an integer between 1 and 120."
  check "the dialog stays open" ql_window '^Quillmere Settings$'
  type_to "$dlg" 5
  keys_to "$dlg" alt+o alt+r alt+l
  keys_to "$dlg" Return
  check "OK closes the dialog" qm_poll 5 ql_no_window_id "$dlg"
  check "and stores the interval" profile_becomes Time 5
  check "its unit" profile_becomes When 1
  check "and the choice" profile_becomes Random 1
  local autostart="$XDG_CONFIG_HOME/autostart/quillmere.desktop"
  check "Start when I log in writes the autostart entry of this program" \
    grep -qxF "Exec=\"$(readlink -f "$QL_BIN")\"" "$autostart"

  menu_pick s
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "the settings dialog opens again"
  keys_to "$dlg" alt+t alt+l
  keys_to "$dlg" Escape
  check "Cancel stores nothing" qm_poll 5 ql_no_window_id "$dlg"
  check "the display mode is kept" profile_is Display 2
  check "and the autostart entry" test -f "$autostart"

  local other="$QL_OUT/browsed"
  mkdir -p "$other"
  menu_pick s
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "the settings dialog opens a third time"
  keys_to "$dlg" alt+b
  local chooser
  chooser="$(ql_wait_window '^Select a folder containing Wallpapers$' 10)" || fail "Browse opens the folder chooser"
  pass "Browse opens the folder chooser"
  xdotool windowactivate --sync "$chooser" >/dev/null 2>&1
  xdotool type --delay 20 "$other/"
  xdotool key --clearmodifiers Return
  sleep 0.5
  if ! ql_no_window_id "$chooser"; then
    xdotool windowactivate --sync "$chooser" key --clearmodifiers Return >/dev/null 2>&1
  fi
  check "the chooser closes on its choice" qm_poll 5 ql_no_window_id "$chooser"
  keys_to "$dlg" alt+l
  keys_to "$dlg" Return
  check "OK closes the dialog" qm_poll 5 ql_no_window_id "$dlg"
  check "the chosen folder is stored" profile_becomes Directory "$other"
  check "the box cleared removes the autostart entry" test ! -e "$autostart"
}

phase_second_start() {
  start_with "${BASE_PROFILE[@]}"
  local first="$QL_PID"
  # The claim is a reverse-DNS name that takes a second start's Activate
  # and nothing else: no menu command (Exit here) comes in over the bus.
  claimed_by_first() { [[ "$(bus_pid com.brandlesoftware.Quillmere)" == "$first" ]]; }
  check "the copy holds com.brandlesoftware.Quillmere" qm_poll 5 claimed_by_first
  local name path
  for name in com.brandlesoftware.Quillmere local.Brandle_Software_Quillmere; do
    for path in / /com/brandlesoftware/Quillmere; do
      gdbus call --session --dest "$name" --object-path "$path" \
        --method local.Quillmere.Frame.Command 57665 >/dev/null 2>&1
    done
  done
  # Each call above came back once the copy's loop had handled it; a copy
  # still running that loop answers one more round trip on the bus.
  still_answers() {
    gdbus introspect --session --dest com.brandlesoftware.Quillmere --object-path / >/dev/null 2>&1 &&
      kill -0 "$first"
  }
  check "a command over the bus does not end it" still_answers
  # Launched with a startup id: the running copy's window answers it, so
  # that the window manager gives it the focus.
  DESKTOP_STARTUP_ID="qm-e2e-second_TIME4242" "$QL_BIN" >"$QL_OUT/second.log" 2>&1 &
  local second=$!
  check "a second start ends at once" qm_wait_exit "$second" 5
  wait "$second"
  check "quietly (status 0)" test $? -eq 0
  check "the first copy keeps running" kill -0 "$first"
  local dlg
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "and opens its Settings"
  pass "and opens its Settings"
  startup_id_is() { xprop -id "$dlg" _NET_STARTUP_ID | grep -qF '"qm-e2e-second_TIME4242"'; }
  check "in the second start's name (_NET_STARTUP_ID)" qm_poll 5 startup_id_is
  keys_to "$dlg" Escape
  qm_poll 5 ql_no_window_id "$dlg" || fail "which Cancel closes"
  click_change >/dev/null || fail "and answers a click"
  pass "and answers a click"
  # A copy that died without cleaning up stops no one.
  kill -9 "$first"
  wait "$first" 2>/dev/null
  QL_PID=
  ql_start
  check "a start after a crash runs" ql_wait_frame
}

phase_host_restart() {
  start_with "${BASE_PROFILE[@]}"
  ql_host_stop
  sleep 2
  ql_host_start "$host" || fail "$host starts again"
  check "the icon comes back" qm_poll 15 ql_icon_shown
  click_change >/dev/null || fail "and answers a click"
  pass "and answers a click"
}

phase_nested() {
  local dir="$QL_OUT/nested"
  mkdir -p "$dir"
  cp "$samples/a-red.jpg" "$dir/"
  # Half a JPEG: its data ends early.
  convert -size 320x240 gradient:'#20a040-#2040d0' -quality 95 "$QL_OUT/whole.jpg"
  head -c $(($(stat -c %s "$QL_OUT/whole.jpg") / 2)) "$QL_OUT/whole.jpg" >"$dir/cut.jpg"
  start_with "Directory=$dir" AutoChange=0 Display=2 Height=301 Width=301 Random=0 Stretch=0
  # One click, waited for: a second one sent while the first is still on
  # its way would be the click this phase makes while the box is open.
  local box i clicks
  ql_click_icon 1 || fail "the icon takes a click"
  qm_poll 10 eval '(($(ql_clicks_received) >= 1))' || fail "the click reaches the program"
  box="$(ql_wait_window '^JPEG (Fatal )?Error$' 10)" || fail "the cut JPEG gets a message box"
  pass "the cut JPEG gets a message box"
  # The box mapped and given the focus: the window manager is done with it.
  qm_poll 10 eval '[[ "$(xdotool getactivewindow 2>/dev/null)" == "$box" ]]' ||
    fail "the box takes the focus"
  local before
  before="$(ql_shown)"
  clicks="$(ql_clicks_received)"
  ql_click_icon 1 || fail "the icon takes a click while the box is open"
  qm_poll 10 eval '(($(ql_clicks_received) > clicks))' ||
    fail "a click while the box is open reaches the program"
  check "a click while the box is open changes the picture" test "$(ql_wait_shown_not "$before" 10)" == red
  check "the box is still open" ql_window '^JPEG (Fatal )?Error$'
  for ((i = 0; i < 5; i++)); do
    box="$(ql_window '^JPEG (Fatal )?Error$')"
    [[ -n "$box" ]] || break
    keys_to "$box" Return
    sleep 0.3
  done
  check "the boxes close" ql_no_window '^JPEG (Fatal )?Error$'
  check "the program runs on" kill -0 "$QL_PID"
}

# The owner of a name on the session bus: its process id.
bus_pid() {
  dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus / \
    org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" 2>/dev/null | awk '{print $2}'
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }
desktop_value_not() { [[ "$(ql_desktop_value)" != "$1" ]]; }

# xfconfd stopped (SIGSTOP): the program never waits for it. Clicks, the
# menu and Settings answer, SIGTERM ends it, a late change lands and is no
# refusal, and a service that never answers gets one notice.
phase_hung() {
  start_with "${BASE_PROFILE[@]}"
  local service before t0 dlg ms
  service="$(bus_pid org.xfce.Xfconf)"
  [[ -n "$service" ]] || fail "xfconfd is on the bus"
  before="$(ql_desktop_value)"
  # Stopped, it must go on again however the phase ends.
  trap 'kill -CONT '"$service"' 2>/dev/null; ql_stop' EXIT
  kill -STOP "$service"
  t0=$(date +%s%N)
  ql_click_icon 1
  open_menu >/dev/null || fail "a click, then the menu, while xfconfd hangs"
  ms=$(ms_since "$t0")
  pass "a click, then the menu, while xfconfd hangs ($ms ms)"
  t0=$(date +%s%N)
  xdotool key --clearmodifiers s
  dlg="$(ql_wait_window '^Quillmere Settings$' 5)" || fail "Settings opens while xfconfd hangs"
  pass "Settings opens while xfconfd hangs ($(ms_since "$t0") ms)"
  keys_to "$dlg" Escape
  kill -CONT "$service"
  check "once xfconfd runs again, the change lands" qm_poll 10 desktop_value_not "$before"
  sleep 1
  check "and is not reported as refused" ql_no_window '^Quillmere$'

  kill -STOP "$service"
  ql_click_icon 1
  sleep 0.5
  t0=$(date +%s%N)
  touch -d '1 minute ago' "$QL_PROFILE"
  kill -TERM "$QL_PID"
  qm_wait_exit "$QL_PID" 10 || fail "SIGTERM ends the program while xfconfd hangs"
  ms=$(ms_since "$t0")
  ((ms < 2000)) || fail "SIGTERM ends the program within 2 s while xfconfd hangs ($ms ms)"
  pass "SIGTERM ends the program while xfconfd hangs ($ms ms)"
  check "with the profile written" test "$(stat -c %Y "$QL_PROFILE")" -ge $((t0 / 1000000000))
  QL_PID=

  ql_start
  ql_wait_frame >/dev/null || fail "the program starts again"
  qm_poll 15 ql_icon_shown || fail "and docks again"
  kill -STOP "$service"
  ql_click_icon 1
  local box
  box="$(ql_wait_window '^Quillmere$' 40)" || fail "a service that never answers gets a notice"
  pass "a service that never answers gets a notice"
  check "the notice says the desktop did not take the wallpaper" \
    grep -q "The desktop did not take the new wallpaper." <(ql_box_text "$box")
  kill -CONT "$service"
  keys_to "$box" Return
  check "one notice only" qm_poll 5 ql_no_window '^Quillmere$'
}

phase_timer() {
  # One minute: the shortest interval the dialog allows.
  start_with "Directory=$samples" AutoChange=1 Time=1 When=0 Display=2 Height=301 Width=301
  local shown
  shown="$(ql_wait_shown_not none 75)" || fail "the timer changes the picture within a minute"
  pass "the timer changes the picture within a minute ($shown)"
}

phase_foreign_title() {
  # Another program's window titled after ours in another case (a terminal
  # or a file manager named after the command) is not a running copy.
  xmessage -title QuillMere hi >/dev/null 2>&1 &
  local other=$!
  trap 'ql_end '"$other"'; ql_stop' EXIT
  qm_poll 10 xdotool search --name '^QuillMere$' || fail "the other window appears"
  start_with "${BASE_PROFILE[@]}"
  pass "the program starts and docks beside a window titled QuillMere"
}

phase_no_tray() {
  ql_host_stop
  ql_desktop_reset
  ql_set_profile "${BASE_PROFILE[@]}"
  ql_start
  ql_wait_frame >/dev/null || fail "the program starts with no tray"
  local box text
  box="$(ql_wait_window '^Quillmere$' 25)" || fail "with no tray, a box says so"
  text="$(ql_box_text "$box")"
  [[ "$text" == *"no notification area"* && "$(ql_clipboard)" == *gnome-shell-extension-appindicator* ]] ||
    fail "the box says what brings a notification area: '$(ql_clipboard)'"
  pass "with no tray, a box says so and what brings one"
  keys_to "$box" Return
  check "the box closes" qm_poll 5 ql_no_window_id "$box"
  # The only way in without an icon: a second start opens the Settings.
  "$QL_BIN" >"$QL_OUT/second.log" 2>&1 &
  local second=$!
  check "a second start ends" qm_wait_exit "$second" 10
  wait "$second"
  check "quietly (status 0)" test $? -eq 0
  local dlg
  dlg="$(ql_wait_window '^Quillmere Settings$' 10)" || fail "and the running copy opens its Settings"
  pass "and the running copy opens its Settings"
  keys_to "$dlg" Escape
  check "Cancel closes them" qm_poll 5 ql_no_window_id "$dlg"
  ql_host_start "$host" || fail "$host starts"
  check "the icon comes once a tray does" qm_poll 15 ql_icon_shown
  click_change >/dev/null || fail "and answers a click"
  pass "and answers a click"
}

# Started at login before the panel: the icon docks as soon as a tray comes,
# and no box says there is none.
phase_late_tray() {
  ql_host_stop
  ql_desktop_reset
  ql_set_profile "${BASE_PROFILE[@]}"
  ql_start
  ql_wait_frame >/dev/null || fail "the program starts before the tray"
  sleep 5
  local t0
  t0=$(date +%s%N)
  ql_host_start "$host" || fail "$host starts 5 s later"
  qm_poll 10 ql_icon_shown || fail "the icon docks once the tray comes"
  pass "the icon docks once the tray comes ($(ms_since "$t0") ms after the host's start)"
  sleep 6
  check "and no box says there is no tray" ql_no_window '^Quillmere$'
  click_change >/dev/null || fail "and answers a click"
  pass "and answers a click"
}

phase_non_utf8() {
  # A folder named under a Latin-1 locale: its name is bytes, not UTF-8.
  local dir="$QL_OUT/pics-"$'\xe9'
  mkdir -p "$dir"
  cp "$samples/a-red.jpg" "$samples/b-green.jpg" "$dir/"
  start_with "Directory=$dir" AutoChange=0 Display=2 Height=301 Width=301 Random=0 Stretch=0
  local shown
  shown="$(click_change)" || fail "a click shows a picture from the folder"
  pass "a click shows a picture from the folder ($shown)"
  ql_stop
  check "its name is saved as its bytes" grep -qF "Directory=@ByteArray($QL_OUT/pics-\xe9)" "$QL_PROFILE"
}

phase_term_during_conversion() {
  local dir="$QL_OUT/large"
  mkdir -p "$dir"
  # Large enough that its conversion is seen under way.
  [[ -f "$dir/large.jpg" ]] || convert -size 6000x4500 gradient:'#d02020-#2040d0' -quality 92 "$dir/large.jpg"
  # Auto-Tile: a change converts it twice (measured, then shown).
  start_with "Directory=$dir" AutoChange=0 Display=2 Height=301 Width=301 Random=0 Stretch=0
  local before tmp="$XDG_DATA_HOME/quillmere/Quillmere Wallpaper.bmp.tmp"
  before="$(ql_desktop_value)"
  rm -f "$QL_PROFILE"
  ql_click_icon 1
  qm_poll 20 test -e "$tmp" || fail "the conversion starts"
  kill -TERM "$QL_PID"
  check "SIGTERM during the conversion ends the program" qm_wait_exit "$QL_PID" 30
  QL_PID=
  check "before the changed picture is shown" test "$(ql_desktop_value)" == "$before"
  check "with the profile written" test -s "$QL_PROFILE"
}

# The bare root's picture is laid out again when the screen's size
# changes. Xvfb's size is fixed: this phase runs on an Xephyr inside this
# display, with a tray of its own, and changes its size with xrandr.
# A resizable Xephyr of W x H inside the suite's display, with a trayer of
# its own, becomes the phase's display; both end with the phase.
xephyr_with_tray() {
  local fd="$QL_OUT/xephyr.number" xephyr tray
  Xephyr -displayfd 3 -resizeable -screen "$1x$2" -nolisten tcp -noreset \
    3>"$fd" >"$QL_OUT/xephyr.log" 2>&1 &
  xephyr=$!
  trap 'ql_stop; ql_end '"$xephyr" EXIT
  qm_poll 10 test -s "$fd" || fail "Xephyr starts"
  export DISPLAY=":$(tr -d '\n' <"$fd")"
  QL_SCREEN_W=$1 QL_SCREEN_H=$2
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    >"$QL_OUT/xephyr-trayer.log" 2>&1 &
  tray=$!
  trap 'ql_stop; ql_end '"$tray"'; ql_end '"$xephyr" EXIT
  qm_poll 30 ql_xembed_tray || fail "trayer starts on Xephyr"
}

# The README's pictures over photo-like wallpapers (tools/screenshots-linux.sh
# runs it): the menu, and on the bare root two monitors with a picture each.
phase_readme() {
  local photos="$QL_OUT/photos" before menu
  ql_make_photos "$photos"
  start_with "Directory=$photos" AutoChange=0 Display=0 Stretch=2
  before="$(ql_desktop_value)"
  ql_click_icon 1
  ql_wait_drawn_not "$before" || fail "a click shows a photo"
  menu="$(open_menu)" || fail "a right click opens the menu"
  sleep 0.5
  shot_menu "$menu" "$QL_OUT/readme-menu.png"
  xdotool key --clearmodifiers Escape
  pass "the menu over a photo"
  [[ "$QL_DESKTOP" == root ]] || return 0
  ql_stop
  xephyr_with_tray 1280 400
  xrandr --setmonitor left 640/0x400/0+0+0 default >/dev/null &&
    xrandr --setmonitor right 640/0x400/0+640+0 none >/dev/null || fail "xrandr splits the screen in two"
  start_with "Directory=$photos" AutoChange=0 Display=0 Stretch=2 EachMonitor=1
  before="$(ql_desktop_value)"
  ql_click_icon 1
  ql_wait_drawn_not "$before" || fail "a click shows a photo on each monitor"
  import -window root "$QL_OUT/readme-two-monitors.png"
  pass "two monitors, a photo each"
}

phase_relayout() {
  local shot="$QL_OUT/relayout.png" dir="$QL_OUT/each" one two
  xephyr_with_tray 640 480
  # Two pictures, red and blue halves and the same flopped; the list takes
  # them in the folder's order, so the first one shown is found out.
  mkdir -p "$dir"
  ql_make_halves "$dir/a.jpg"
  convert "$dir/a.jpg" -flop "$dir/b.jpg"
  # A picture for each monitor changes nothing while there is one.
  start_with "Directory=$dir" AutoChange=0 Display=2 Height=10 Width=10 Random=0 Stretch=1 EachMonitor=1
  ql_click_icon 1
  # Whether row $1 of the root runs as "COLOUR:LENGTH ..." $2, within 8 pixels.
  row_is() {
    import -window root "$shot" 2>/dev/null &&
      ql_runs "$shot" row "$1" | awk -v want="$2" '{
        n = split(want, w, " ")
        if (NF != n) exit 1
        for (i = 1; i <= n; i++) {
          split($i, kv, ":"); split(w[i], wv, ":")
          if (kv[1] != wv[1] || kv[2] < wv[2] - 8 || kv[2] > wv[2] + 8) exit 1
        }
      }'
  }
  stretched_at() { row_is "$2" "r:$(($1 / 2)) b:$(($1 / 2))" || row_is "$2" "b:$(($1 / 2)) r:$(($1 / 2))"; }
  check "a click stretches the picture over the 640 x 480 screen" qm_poll 10 stretched_at 640 240
  one="$(ql_runs "$shot" row 240 | cut -c1)"
  [[ "$one" == r ]] && two=b || two=r
  xrandr -s 800x600 >/dev/null || fail "xrandr makes the screen 800 x 600"
  check "the picture is laid out again for the 800 x 600 screen" qm_poll 10 row_is 300 "$one:400 $two:400"
  # Split into two monitors: the picture shown is laid out on each; the
  # next click gives each its own, the left one the next in the list (the
  # other picture), the right one the one after it (this one again), all
  # in one picture on the root.
  xrandr --setmonitor left 400/0x600/0+0+0 default >/dev/null &&
    xrandr --setmonitor right 400/0x600/0+400+0 none >/dev/null || fail "xrandr splits the screen in two"
  check "two monitors: the same picture stretched over each" qm_poll 10 row_is 300 "$one:200 $two:200 $one:200 $two:200"
  ql_click_icon 1
  check "a click gives each monitor its own next picture" qm_poll 10 row_is 300 "$two:200 $one:400 $two:200"
}

run_phase first-start phase_first_start
run_phase clicks phase_clicks
run_phase menu phase_menu
run_phase settings phase_settings
run_phase second-start phase_second_start
run_phase host-restart phase_host_restart
run_phase nested phase_nested
[[ "$QL_DESKTOP" == xfce ]] && run_phase hung phase_hung
run_phase foreign-title phase_foreign_title
run_phase non-utf8 phase_non_utf8
run_phase term-during-conversion phase_term_during_conversion
run_phase no-tray phase_no_tray
run_phase late-tray phase_late_tray
[[ -n "${QL_E2E_TIMER:-1}" && "${QL_E2E_TIMER:-1}" != 0 ]] && run_phase timer phase_timer
[[ "$QL_DESKTOP" == root ]] && run_phase relayout phase_relayout
[[ -n "${QL_README_SHOTS:-}" ]] && run_phase readme phase_readme

! grep -q '^FAIL' "$QL_RESULTS"
