# Shared by the Linux end-to-end tests, the long run, tools/run.sh and the
# screenshots: a display, window manager, tray host and session of their
# own for the native program (build/<preset>/quillmere), the program
# started in them, and the looks at windows, files and pixels. Source it;
# it sets no shell options of its own. Everything it starts it ends by
# process id.
#
#   ql_env_init OUT_DIR BUILD_DIR   temporary HOME and XDG folders under OUT_DIR
#   ql_display_start                Xvfb on a free display, then openbox
#   ql_host_start trayer|xfce       an XEmbed or a StatusNotifierItem tray host
#   ql_start                        the program; QL_PID
#   ql_teardown                     program, host, window manager, Xvfb

ql_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$ql_root/tests/wait-lib.sh"
QL_SCREEN_W=1024
QL_SCREEN_H=768
QL_CONFIG_SECTION=Config

ql_env_init() {
  mkdir -p "$1"
  QL_OUT="$(cd "$1" && pwd)"
  QL_BUILD="$(cd "$2" && pwd)"
  QL_BIN="$QL_BUILD/quillmere"
  # Nothing may reach the real user's desktop, profile or session.
  export HOME="$QL_OUT/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$QL_OUT/runtime"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0 QT_QPA_PLATFORM=xcb
  # The program's log, in a failed phase's report, says which clicks its
  # tray icon got (qt.qpa.tray), which presses reached it from the server at
  # all (qt.qpa.input.events) and what it asked of the desktop.
  export QT_LOGGING_RULES="${QT_LOGGING_RULES:-qm.*=true;qt.qpa.tray=true;qt.qpa.input.events=true}"
  # A sanitizer build reports what Qt keeps past main; those are named here.
  export LSAN_OPTIONS="suppressions=$ql_root/tools/lsan-qt.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
  unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY SESSION_MANAGER
  QL_PROFILE="$XDG_CONFIG_HOME/Brandle Software/Quillmere.conf"
  QL_XVFB_PID= QL_WM_PID= QL_HOST_PID= QL_PID= QL_HOST= QL_XFDESKTOP_PID=
  QL_RUNS=0
}

ql_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# Ends process $1: TERM, then KILL if it lingers. Never fails (it runs in
# EXIT traps of scripts with errexit on, which a failing wait would cut short).
ql_end() {
  local pid="$1"
  [[ -n "$pid" ]] || return 0
  kill "$pid" 2>/dev/null || return 0
  qm_wait_exit "$pid" 10 || kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  return 0
}

ql_display_start() {
  local fdfile="$QL_OUT/display.number"
  rm -f "$fdfile"
  # -displayfd: Xvfb picks a free display number itself and writes it out.
  # -noreset: a server resets when its last client leaves, and drops the
  # connections still being set up then (the window manager's, the host's).
  Xvfb -displayfd 3 -screen 0 "${QL_SCREEN_W}x${QL_SCREEN_H}x24" -nolisten tcp -noreset \
    3>"$fdfile" >"$QL_OUT/xvfb.log" 2>&1 &
  QL_XVFB_PID=$!
  local i
  for ((i = 0; i < 200; i++)); do
    if [[ -s "$fdfile" ]]; then
      export DISPLAY=":$(tr -d '\n' <"$fdfile")"
      break
    fi
    kill -0 "$QL_XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  [[ -n "${DISPLAY:-}" && -s "$fdfile" ]] || { echo "Xvfb did not start" >&2; return 1; }
  openbox --sm-disable >"$QL_OUT/openbox.log" 2>&1 &
  QL_WM_PID=$!
  # The window manager's own window, not just an answer from the server.
  qm_poll 10 ql_wm_running || { cat "$QL_OUT/openbox.log" >&2; return 1; }
}
ql_wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

# The tray host's own window, for the icon's search: prints its id.
ql_host_window() {
  case "$QL_HOST" in
    trayer) ql_trayer_panel ;;
    xfce)
      # The panel is the widest of its windows (the others: tooltips, menus).
      local w best= widest=0 x y width h
      for w in $(xdotool search --onlyvisible --class '^xfce4-panel$' 2>/dev/null); do
        read -r x y width h < <(ql_geometry "$w")
        ((width > widest)) && { widest=$width; best=$w; }
      done
      [[ -n "$best" ]] && echo "$best"
      ;;
  esac
}

# An xfce4-panel with nothing but its notification area, at the top.
ql_xfce_config() {
  local dir="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
  mkdir -p "$dir"
  cat >"$dir/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
    </property>
  </property>
</channel>
XML
}

# ql_host_start trayer|xfce: the host, waited for until it owns the tray.
# The running host's process id is also kept in a file: a phase that
# restarts the host runs in a subshell, and whoever stops it later (the
# next phase, the teardown) must end that process, not the first one.
ql_host_start() {
  QL_HOST="$1"
  case "$QL_HOST" in
    trayer)
      trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        >"$QL_OUT/host.log" 2>&1 &
      QL_HOST_PID=$!
      echo "$QL_HOST_PID" >"$QL_OUT/.host.pid"
      qm_poll 30 ql_xembed_tray || { ql_host_dump; cat "$QL_OUT/host.log" >&2; return 1; }
      ;;
    xfce)
      ql_xfce_config
      xfce4-panel --disable-wm-check >"$QL_OUT/host.log" 2>&1 &
      QL_HOST_PID=$!
      echo "$QL_HOST_PID" >"$QL_OUT/.host.pid"
      qm_poll 30 ql_sni_host || { ql_host_dump; cat "$QL_OUT/host.log" >&2; return 1; }
      ;;
    *) echo "unknown tray host $1" >&2; return 2 ;;
  esac
}

# What a host that did not come left behind, for its log.
ql_host_dump() {
  {
    echo "== host $QL_HOST pid $QL_HOST_PID: $(kill -0 "$QL_HOST_PID" 2>&1 && echo running)"
    local w
    for w in $(xdotool search --class "${QL_HOST/xfce/xfce4-panel}" 2>/dev/null); do
      xwininfo -id "$w" | grep -E 'xwininfo|Map State|Width|Height'
    done
  } >>"$QL_OUT/host.log" 2>&1
}

ql_host_stop() {
  [[ -f "$QL_OUT/.host.pid" ]] && QL_HOST_PID="$(cat "$QL_OUT/.host.pid")"
  ql_end "$QL_HOST_PID"
  QL_HOST_PID=
  rm -f "$QL_OUT/.host.pid"
}

# trayer's panel exists (it stays unmapped until it holds an icon).
ql_xembed_tray() { [[ -n "$(ql_trayer_panel)" ]]; }
ql_trayer_panel() {
  local w
  for w in $(xdotool search --class '^trayer$' 2>/dev/null); do
    [[ "$(xdotool getwindowname "$w" 2>/dev/null)" == panel ]] && { echo "$w"; return 0; }
  done
  return 1
}
ql_sni_host() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
}
# The items the StatusNotifier watcher knows.
ql_sni_items() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems 2>/dev/null
}

# Starts the program (no arguments, as on Windows); QL_PID. Its output goes
# to quillmere-<n>.log.
ql_start() {
  # Counted in a file: phases run in subshells.
  QL_RUNS=$(($(cat "$QL_OUT/.runs" 2>/dev/null || echo 0) + 1))
  echo "$QL_RUNS" >"$QL_OUT/.runs"
  (cd "${1:-$QL_OUT}" && exec "$QL_BIN") >"$QL_OUT/quillmere-$QL_RUNS.log" 2>&1 &
  QL_PID=$!
}

# The program's hidden frame: the unmapped window titled "Quillmere" of
# its process. Prints its id.
ql_frame() {
  local w
  for w in $(xdotool search --all --pid "$QL_PID" --name '^Quillmere$' 2>/dev/null); do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Map State: IsUnMapped'; then
      echo "$w"
      return 0
    fi
  done
  return 1
}

ql_wait_frame() {
  local i
  for ((i = 0; i < 200; i++)); do
    ql_frame && return 0
    kill -0 "$QL_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Ends the program politely (SIGTERM closes its frame as its close box
# would, saving the settings), then by force.
ql_stop() {
  [[ -n "${QL_PID:-}" ]] || return 0
  ql_end "$QL_PID"
  QL_PID=
}

ql_teardown() {
  ql_stop
  ql_host_stop
  ql_end "$QL_WM_PID"
  QL_WM_PID=
  ql_end "$QL_XVFB_PID"
  QL_XVFB_PID=
}

# A visible window of the program whose title matches the regex; its id.
ql_window() {
  xdotool search --all --onlyvisible --pid "$QL_PID" --name "$1" 2>/dev/null | head -n 1
}
ql_wait_window() {  # ql_wait_window REGEX [SECONDS]
  local end=$((SECONDS + ${2:-10})) w
  while :; do
    w="$(ql_window "$1")"
    [[ -n "$w" ]] && { echo "$w"; return 0; }
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}
ql_no_window() { [[ -z "$(ql_window "$1")" ]]; }

# The icon's popup menu: the program's own (XEmbed), or the one a
# StatusNotifier host draws from the menu the program exports (xfce4-panel).
# Either is an override-redirect popup. Prints its id.
ql_menu_window() {
  local w
  local -a found
  if [[ "$QL_HOST" == xfce ]]; then
    # Drawn by the panel's plugin process (wrapper-2.0).
    mapfile -t found < <(xdotool search --onlyvisible --class '^(xfce4-panel|wrapper-2.0)$' 2>/dev/null)
  else
    mapfile -t found < <(xdotool search --all --onlyvisible --pid "$QL_PID" --classname '^quillmere$' 2>/dev/null)
  fi
  for w in "${found[@]}"; do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' &&
      (($(xwininfo -id "$w" | awk '/^  Height/ {print $NF}') > 60)); then
      echo "$w"
      return 0
    fi
  done
  return 1
}

# "X Y W H" of a window on the screen.
ql_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^  Width/ {w=$NF} /^  Height/ {h=$NF} END {print x, y, w, h}'
}

ql_shot() { import -window root "$1"; }
ql_shot_window() { import -window "$1" "$2"; }

# The icon on the host: the bounding box of its sky (pure aqua) inside the
# host's window. Prints "X Y" of its centre.
ql_icon_pos() {
  local host shot="$QL_OUT/.host.png"
  host="$(ql_host_window)"
  [[ -n "$host" ]] || return 1
  local hx hy hw hh
  read -r hx hy hw hh < <(ql_geometry "$host")
  import -window root -crop "${hw}x${hh}+${hx}+${hy}" +repage "$shot" 2>/dev/null || return 1
  local box
  box="$(convert "$shot" -fill black -fuzz 8% +opaque '#00ffff' -trim -format '%w %h %X %Y' info: 2>/dev/null)"
  local w h x y
  read -r w h x y <<<"$box"
  x="${x#+}" y="${y#+}"
  # A trimmed-away picture leaves a 1x1 box: no aqua at all.
  [[ -n "$w" ]] && ((w >= 4 && h >= 2)) || return 1
  echo "$((hx + x + w / 2)) $((hy + y + h))"
}

ql_icon_shown() { ql_icon_pos >/dev/null; }

# The clicks the program's icon has received, as its log (qm.tray) tells.
ql_clicks_received() {
  grep -c 'qm.tray: icon [0-9]* activated:' "$QL_OUT/quillmere-$QL_RUNS.log" 2>/dev/null
}

# What a click found: the pointer, the window with the focus, and the
# override-redirect windows mapped (menus, tooltips), for a failure's report.
# Whether another client holds the pointer or the keyboard grabbed: a
# press then goes to that client, not to the window under the pointer.
# Prints "free", or what is grabbed; true when free.
ql_grabs() {
  python3 - <<'PY'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XGrabPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint,
                           ctypes.c_int, ctypes.c_int, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
x.XGrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_int, ctypes.c_ulong]
x.XUngrabPointer.argtypes = x.XUngrabKeyboard.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
if not d:
    print("no display"); sys.exit(1)
root = x.XDefaultRootWindow(d)
grabbed = []
if x.XGrabPointer(d, root, 0, 0, 1, 1, 0, 0, 0) == 0:
    x.XUngrabPointer(d, 0)
else:
    grabbed.append("pointer")
if x.XGrabKeyboard(d, root, 0, 1, 1, 0) == 0:
    x.XUngrabKeyboard(d, 0)
else:
    grabbed.append("keyboard")
x.XSync(d, 0)
print(" and ".join(grabbed) + " grabbed" if grabbed else "free")
sys.exit(1 if grabbed else 0)
PY
}

ql_input_state() {
  echo "== grabs: $(ql_grabs)"
  echo "== pointer: $(xdotool getmouselocation 2>&1)"
  echo "== active window: $(xdotool getactivewindow getwindowname 2>&1)"
  local w
  for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes' &&
      echo "== popup: $(xwininfo -id "$w" | sed -n '1,2p;/geometry/p' | tr -s ' \n' ' ')"
  done
}

# Clicks the icon once it can take the click: no popup menu left open (a
# press while one is up only closes it), no grab left that would take the
# press instead, and the icon drawn in its host.
ql_click_icon() {  # ql_click_icon BUTTON [REPEAT]
  qm_poll 5 eval '! ql_menu_window' ||
    { echo "ql_click_icon: a popup menu stays open" >&2; return 1; }
  qm_poll 5 eval 'ql_grabs >/dev/null' ||
    { echo "ql_click_icon: $(ql_grabs) by another client" >&2; return 1; }
  local pos= i
  for ((i = 0; i < 25; i++)); do
    pos="$(ql_icon_pos)" && break
    sleep 0.2
  done
  [[ -n "$pos" ]] || { echo "ql_click_icon: no icon in $QL_HOST's window to click" >&2; return 1; }
  # shellcheck disable=SC2086
  xdotool mousemove $pos click --repeat "${2:-1}" --delay 80 "$1"
}

ql_mouse_away() { xdotool mousemove $((QL_SCREEN_W / 2)) $((QL_SCREEN_H - 40)); }

# "R G B" of one pixel of an image file.
ql_pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# True when the pixel ($2,$3) of image $1 is within $5 of the colour $4 (RRGGBB).
ql_pixel_near() {
  local file="$1" x="$2" y="$3" hex="$4" tol="${5:-12}"
  local r g b er eg eb d
  read -r r g b < <(ql_pixel "$file" "$x" "$y")
  er=$((16#${hex:0:2})) eg=$((16#${hex:2:2})) eb=$((16#${hex:4:2}))
  for d in $((r - er)) $((g - eg)) $((b - eb)); do
    ((d < 0)) && d=$((-d))
    ((d <= tol)) || return 1
  done
}

# One value of the profile's [Config] section, or nothing.
ql_profile() {
  [[ -f "$QL_PROFILE" ]] || return 1
  awk -v key="$1" -v sec="[$QL_CONFIG_SECTION]" '
    /^\[/ { in_sec = ($0 == sec); next }
    in_sec { i = index($0, "="); if (i && substr($0, 1, i - 1) == key) { print substr($0, i + 1); found = 1 } }
    END { exit !found }' "$QL_PROFILE"
}

# ql_set_profile NAME=VALUE...: a whole profile, nothing else.
ql_set_profile() {
  mkdir -p "$(dirname "$QL_PROFILE")"
  {
    echo "[$QL_CONFIG_SECTION]"
    local kv
    for kv in "$@"; do echo "$kv"; done
  } >"$QL_PROFILE"
}

# The clipboard's text (the program owns it while it runs).
ql_clipboard() { xclip -o -selection clipboard 2>/dev/null; }

# The text of the program's message box with window id $1: Ctrl+C copies a
# box's caption, text and buttons, as on Windows. A marker goes into the
# clipboard first (its xclip ends when the program takes the clipboard).
ql_box_text() {
  printf 'none' | xclip -selection clipboard 2>/dev/null
  xdotool windowactivate --sync "$1" key --clearmodifiers ctrl+c 2>/dev/null
  local i t
  for ((i = 0; i < 30; i++)); do
    t="$(ql_clipboard)"
    [[ -n "$t" && "$t" != none ]] && { printf '%s\n' "$t" | sed -n '4p'; return 0; }
    sleep 0.1
  done
  return 1
}

# XFCE's real desktop (xfdesktop) over the root window, once it shows its
# backdrop; QL_XFDESKTOP_PID.
ql_xfdesktop_start() {
  xfdesktop --disable-wm-check >"$QL_OUT/xfdesktop.log" 2>&1 &
  QL_XFDESKTOP_PID=$!
  qm_poll 30 ql_xfdesktop_window
}
ql_xfdesktop_window() {
  xdotool search --onlyvisible --class '^xfdesktop$' 2>/dev/null | head -n 1 | grep .
}

# --- What the desktop shows ----------------------------------------------------
# QL_DESKTOP: "root" (no desktop named: the program draws on the X root
# window), "xfce" (xfconf's xfce4-desktop channel, as xfdesktop reads it) or
# "shell" (a real desktop shell: the suite defines ql_shell_shot FILE and
# ql_shell_value).
QL_DESKTOP=root
QL_XFCE_IMAGE=/backdrop/screen0/monitorscreen/workspace0/last-image

# The desktop's own record of its wallpaper: the root window's pixmap, or
# xfconf's picture path.
ql_desktop_value() {
  case "$QL_DESKTOP" in
    root) xprop -root _XROOTPMAP_ID 2>/dev/null | sed -n 's/.*# //p' ;;
    xfce) xfconf-query -c xfce4-desktop -p "$QL_XFCE_IMAGE" 2>/dev/null ;;
    shell) ql_shell_value ;;
  esac
}

# A desktop showing no picture, as before the program ever ran.
ql_desktop_reset() {
  case "$QL_DESKTOP" in
    root)
      xprop -root -remove _XROOTPMAP_ID 2>/dev/null
      xprop -root -remove ESETROOT_PMAP_ID 2>/dev/null
      xsetroot -solid black
      ;;
    xfce) xfconf-query -c xfce4-desktop -p "$QL_XFCE_IMAGE" -s "" ;;
  esac
}

# The sample shown (red, green or blue; "none" or "other"): read from the
# screen's pixels (root, and xfce, where xfdesktop draws the picture), or
# from the file the desktop was given (xfce without xfdesktop).
# Pictures smaller than the Auto-Tile thresholds fill the screen tiled.
ql_shown() {
  local shot="$QL_OUT/.shown.png" file x=${1:-$((QL_SCREEN_W / 2))} y=${2:-$((QL_SCREEN_H / 2))}
  case "$QL_DESKTOP" in
    root) import -window root "$shot" 2>/dev/null || { echo none; return; } ;;
    # A real shell's own screenshot, taken by the suite.
    shell) ql_shell_shot "$shot" || { echo none; return; } ;;
    xfce)
      if [[ -n "${QL_XFDESKTOP_PID:-}" ]]; then
        import -window root "$shot" 2>/dev/null || { echo none; return; }
        # Inside a centred sample, below the middle, where the program's
        # message boxes (centred on the screen) do not reach.
        [[ -n "${1:-}" ]] || { x=$((QL_SCREEN_W / 2 - 40)) y=$((QL_SCREEN_H / 2 + 30)); }
      else
        file="$(ql_desktop_value)"
        [[ -n "$file" && -f "$file" ]] || { echo none; return; }
        convert "$file" "$shot" 2>/dev/null || { echo none; return; }
        x=5 y=5
      fi
      ;;
  esac
  local c
  for c in red:d02020 green:20a040 blue:2040d0; do
    if ql_pixel_near "$shot" "$x" "$y" "${c#*:}" 24; then
      echo "${c%%:*}"
      return
    fi
  done
  if ql_pixel_near "$shot" "$x" "$y" 000000 4; then echo none; else echo other; fi
}

# Waits up to $2 seconds (default 10) until the sample shown is not $1;
# prints the new one.
ql_wait_shown_not() {
  local end=$((SECONDS + ${2:-10})) now
  while :; do
    now="$(ql_shown)"
    [[ "$now" != "$1" && "$now" != none ]] && { echo "$now"; return 0; }
    ((SECONDS < end)) || { echo "$now"; return 1; }
    sleep 0.2
  done
}

# The run commands' photo-like pictures in $1 (made once), for the README's
# pictures: what a user sees, where the checks want flat colours.
ql_make_photos() {
  [[ -d "$1" ]] || bash "$ql_root/tools/make-samples.sh" "$1" "$QL_BUILD/make-photo-jpeg" >/dev/null
}

# Waits until the desktop's own record differs from $1 and then a moment
# for the drawing, which a README picture would otherwise catch half done.
ql_wait_drawn_not() {
  qm_poll 10 eval '[[ "$(ql_desktop_value)" != "$1" ]]' && sleep 1
}

# A photo-like 2:1 picture in the folder $QL_OUT/wide (made once): filled,
# fitted and stretched it looks different on any screen that is not 2:1.
ql_make_wide_photo() {
  local dir="$QL_OUT/wide"
  [[ -f "$dir/wide.jpg" ]] || { mkdir -p "$dir" && "$QL_BUILD/make-photo-jpeg" "$dir/wide.jpg" 1600 800 baseline 92 7; }
}
# ql_like_wide fill|fit SHOT: the screenshot shows that photo so.
ql_like_wide() { ql_like_resample "$1" "$QL_OUT/wide/wide.jpg" "$2"; }

# The mean difference, 0 to 1, between images $1 and $2 within the area $3.
ql_mean_difference() {
  convert "$1" -crop "$3" +repage "$QL_OUT/.a.png" && convert "$2" -crop "$3" +repage "$QL_OUT/.b.png" &&
    compare -metric MAE "$QL_OUT/.a.png" "$QL_OUT/.b.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p'
}

# Whether screenshot $3 shows photo $2 filled or fitted ($1) over the whole
# screen as a plain resample made here does (ImageMagick's, none of the
# program's code), rather than stretched: over the middle of the screen
# (no panel, no bars), its mean difference from that reference is under 6 %
# and under half its difference from the photo stretched.
ql_like_resample() {
  local how="$1" photo="$2" shot="$3" size="${QL_SCREEN_W}x${QL_SCREEN_H}"
  local ref="$QL_OUT/.resample.png" wrong="$QL_OUT/.stretched.png" right off
  local middle="$((QL_SCREEN_W * 3 / 4))x$((QL_SCREEN_H * 2 / 3))+$((QL_SCREEN_W / 8))+$((QL_SCREEN_H / 6))"
  if [[ "$how" == fill ]]; then
    convert "$photo" -filter Box -resize "$size^" -gravity center -extent "$size" "$ref"
  else
    convert "$photo" -filter Box -resize "$size" -background black -gravity center -extent "$size" "$ref"
  fi
  convert "$photo" -filter Box -resize "$size!" "$wrong"
  right="$(ql_mean_difference "$shot" "$ref" "$middle")"
  off="$(ql_mean_difference "$shot" "$wrong" "$middle")"
  awk -v r="$right" -v w="$off" 'BEGIN { exit !(r != "" && w != "" && r < 0.06 && r < w / 2) }' ||
    { echo "ql_like_resample $how: $right from the resample, $off from stretched" >&2; return 1; }
}

# Sample pictures: flat colours, a JPEG and a BMP of each kind.
ql_make_samples() {
  local dir="$1"
  mkdir -p "$dir"
  convert -size 96x72 xc:'#d02020' -quality 95 "$dir/a-red.jpg" &&
    convert -size 96x72 xc:'#20a040' -quality 95 "$dir/b-green.jpg" &&
    convert -size 96x72 xc:'#2040d0' -type truecolor "BMP3:$dir/c-blue.bmp"
}

# --- Layouts, read from the screen's pixels -----------------------------------
# A picture whose left half is red and right half blue (96 × 72, edges on
# JPEG block boundaries, no chroma subsampling: crisp): tiled, stretched and
# centred look different along one row.
ql_make_halves() {
  convert -size 48x72 xc:'#d02020' -size 48x72 xc:'#2040d0' +append \
    -sampling-factor 1x1 -quality 95 "$1"
}

# The runs of colour along row Y (ql_runs FILE row Y) or column X of an
# image: "r:48 b:48 x:592 ..." with r, g, b for the samples' colours and x
# for anything else.
ql_runs() {
  local file="$1" dir="$2" n="$3" w h geo
  read -r w h < <(identify -format '%w %h' "$file")
  if [[ "$dir" == row ]]; then geo="${w}x1+0+$n"; else geo="1x${h}+$n+0"; fi
  convert "$file" -crop "$geo" +repage -depth 8 txt:- 2>/dev/null | awk '
    function near(v, e) { return v >= e - 40 && v <= e + 40 }
    NR > 1 {
      s = substr($0, index($0, "(") + 1); s = substr(s, 1, index(s, ")") - 1)
      split(s, v, ","); r = v[1] + 0; g = v[2] + 0; b = v[3] + 0
      c = "x"
      if (near(r, 208) && near(g, 32) && near(b, 32)) c = "r"
      else if (near(r, 32) && near(g, 160) && near(b, 64)) c = "g"
      else if (near(r, 32) && near(g, 64) && near(b, 208)) c = "b"
      if (c == last) { len++ } else { if (last != "") out = out " " last ":" len; last = c; len = 1 }
    }
    END { if (last != "") out = out " " last ":" len; print substr(out, 2) }'
}

# The layout of the halves picture in a screenshot, from row Y (its middle
# when centred): centred (one red and one blue run of 48 between other
# colours, starting at X0 when given), tiled (many alternating runs of 48),
# stretched (red, then blue, half the width each), else "other: RUNS".
ql_halves_layout() {
  local file="$1" y="$2" x0="${3:-}" runs w
  runs="$(ql_runs "$file" row "$y")"
  w="$(identify -format '%w' "$file")"
  awk -v runs="$runs" -v w="$w" -v x0="$x0" 'BEGIN {
    n = split(runs, part, " ")
    for (i = 1; i <= n; i++) { split(part[i], kv, ":"); c[i] = kv[1]; l[i] = kv[2] + 0 }
    if (n == 4 && c[1] == "x" && c[2] == "r" && c[3] == "b" && c[4] == "x" &&
        l[2] >= 46 && l[2] <= 50 && l[3] >= 46 && l[3] <= 50 && (x0 == "" || l[1] == x0 + 0)) {
      print "centred"; exit }
    # Scaling blurs the seam between the halves: a few other pixels there.
    if (n == 3 && c[2] == "x" && l[2] <= 24) { c[2] = c[3]; l[1] += l[2] / 2; n = 2 }
    if (n == 2 && c[1] == "r" && c[2] == "b" && l[1] >= w / 2 - 8 && l[1] <= w / 2 + 8) {
      print "stretched"; exit }
    tiles = 0
    for (i = 2; i < n; i++) {
      if (c[i] == "x" || c[i] == c[i - 1] || l[i] < 46 || l[i] > 50) { tiles = -1; break }
      tiles++
    }
    if (tiles >= 8 && c[1] != "x" && c[n] != "x") { print "tiled"; exit }
    print "other: " runs
  }'
}

# Waits up to $2 seconds (default 10) until a sample other than $1 shows,
# the same on two looks in a row (a shell may fade from one picture to the
# next); prints it.
# A sample first seen as time runs out gets its second look: on a busy
# machine one look (a shell's screenshot) may take seconds.
ql_wait_sample_not() {
  local end=$((SECONDS + ${2:-10})) now last= seen=0 extra=1
  while :; do
    now="$(ql_shown)"
    seen=0
    if [[ "$now" =~ ^(red|green|blue)$ && "$now" != "$1" ]]; then
      [[ "$now" == "$last" ]] && { echo "$now"; return 0; }
      seen=1
    fi
    if ((SECONDS >= end)); then
      ((seen && extra)) || { echo "$now"; return 1; }
      extra=0
    fi
    last="$now"
    sleep 0.2
  done
}
