#!/usr/bin/env bash
# The real program as a Wayland client of a headless sway, with waybar's
# tray as its StatusNotifierItem host, and no X display at all (no DISPLAY:
# Qt's X11 platform could not start). It docks, a StatusNotifierItem
# Activate shows a picture, the exported menu's Tile Current tiles it, and
# a second start ends and has the first open its settings. The screen is read back
# with grim. run-in-sway.sh makes the session and ends sway.
#
#   sway.sh BUILD_DIR OUT_DIR
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
if [[ -z "${SWAYSOCK:-}" ]]; then
  exec bash "$here/../desktops/run-in-sway.sh" bash "$0" "$@"
fi
source "$here/lib.sh"
build="$(cd "$1" && pwd)"
mkdir -p "$2"
out="$(cd "$2" && pwd)"
results="$out/results.txt"
: >"$results"
bin="$build/quillmere"
pids=()
teardown() {
  local p
  for p in "${pids[@]}"; do ql_end "$p"; done
}
trap teardown EXIT
fail() {
  echo "FAIL sway: $*" | tee -a "$results"
  cp "$QM_SWAY_LOG" "$out/sway.log" 2>/dev/null
  exit 1
}
pass() { echo "ok   sway: $*" | tee -a "$results"; }

[[ -x "$bin" ]] || fail "no $bin: build the linux preset first"
[[ -z "${DISPLAY+set}" ]] || fail "DISPLAY is set"
export XDG_CURRENT_DESKTOP=sway QT_ACCESSIBILITY=0
unset QT_QPA_PLATFORM  # the program picks Wayland itself

# waybar with its tray alone, as this session's StatusNotifierItem host.
cat >"$out/waybar.json" <<'CONF'
{ "layer": "top", "height": 24, "modules-left": [], "modules-center": [],
  "modules-right": ["tray"], "tray": { "icon-size": 16, "spacing": 4 } }
CONF
waybar -c "$out/waybar.json" >"$out/waybar.log" 2>&1 &
pids+=($!)
qm_poll 20 ql_sni_host || fail "waybar's tray registers as the host"

# The pictures live where sway's user (nobody) can read them.
samples="$TMPDIR/samples"
ql_make_samples "$samples" && chmod -R a+rX "$samples" || fail "the samples are made"
QL_PROFILE="$XDG_CONFIG_HOME/Brandle Software/Quillmere.conf"
ql_set_profile "Directory=$samples" AutoChange=0 Display=0 Height=301 Width=301 Random=0 \
  Stretch=0 Time=20 When=0

item() {  # item PID: the bus name of that process's StatusNotifierItem
  local entry name
  for entry in $(ql_sni_items | grep -oE "[^'<\[ ]+/StatusNotifierItem"); do
    name="${entry%%/*}"
    gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" 2>/dev/null |
      grep -q "uint32 $1," && { echo "$name"; return 0; }
  done
  return 1
}
shown_at() {  # shown_at X Y COLOUR: grim's screen has that colour there
  grim "$out/screen.png" 2>/dev/null &&
    [[ "$(convert "$out/screen.png" -format "%[hex:p{$1,$2}]" info:)" == "$3"* ]]
}

"$bin" >"$out/quillmere-1.log" 2>&1 &
first=$!
pids+=("$first")
qm_poll 20 item "$first" || fail "the program docks in waybar's tray"
name="$(item "$first")"
pass "the program docks in waybar's tray ($name)"
gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.GetConnectionUnixProcessID com.brandlesoftware.Quillmere |
  grep -q "uint32 $first," || fail "it holds the single-instance claim on the bus"
pass "it holds the single-instance claim on the bus"

gdbus call --session --dest "$name" --object-path /StatusNotifierItem \
  --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null ||
  fail "the item takes Activate"
qm_poll 15 shown_at 160 120 D02020 || fail "Activate shows the first picture, centred"
shown_at 4 236 D02020 && fail "a centred picture leaves the corner alone"
pass "Activate shows the first picture, centred"

# The host asks for the menu before it shows it, then sends the click.
gdbus call --session --dest "$name" --object-path /MenuBar \
  --method com.canonical.dbusmenu.AboutToShow 0 >/dev/null || fail "the menu opens"
tile="$(gdbus call --session --dest "$name" --object-path /MenuBar \
  --method com.canonical.dbusmenu.GetLayout -- 0 -1 '@as []' |
  grep -oE "\(([0-9]+), \{[^}]*'label': <'[^']*Tile[^']*'>" | grep -oE '^\([0-9]+' | tr -d '(')"
[[ -n "$tile" ]] || fail "the exported menu has Tile Current"
gdbus call --session --dest "$name" --object-path /MenuBar \
  --method com.canonical.dbusmenu.Event "$tile" clicked '<0>' 0 >/dev/null ||
  fail "the menu takes the click"
qm_poll 15 shown_at 4 236 D02020 || fail "Tile Current tiles the picture"
pass "the menu's Tile Current tiles the picture"

# A second start finds the first by its claim on the bus and ends ...
"$bin" >"$out/quillmere-2.log" 2>&1 &
second=$!
pids+=("$second")
qm_wait_exit "$second" 15 || fail "a second start ends by itself"
kill -0 "$first" 2>/dev/null || fail "the first one runs on"
[[ "$(ql_sni_items | grep -o '/StatusNotifierItem' | wc -l)" == 1 ]] ||
  fail "one icon in the tray"
pass "a second start is refused; the first runs on"
# ... and has it open its settings: a Wayland window sway lists.
settings_open() { swaymsg -t get_tree | grep -q '"name": "Quillmere Settings"'; }
qm_poll 15 settings_open || fail "the running copy opens its settings"
pass "the running copy opens its settings, a window on sway"
