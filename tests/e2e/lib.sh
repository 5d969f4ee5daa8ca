# Shared by the end-to-end tests, tools/run.sh and tools/screenshots.sh:
# a Wine prefix and an X display of their own, the program started in them,
# the helper qm_probe, screenshots and pixel checks. Source it; it sets no
# shell options of its own.
#
#   qm_env_init OUT_DIR BUILD_DIR   where the prefix, logs and shots go
#   qm_prefix_fresh                 new prefix with one shared virtual desktop
#   qm_display_start                our own Xvfb on a free display number
#   qm_start [CWD]                  start Quillmere.exe, in CWD
#   qm_teardown                     close the program, end Wine and Xvfb

qm_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$qm_root/tools/wine-lib.sh"
source "$qm_root/tests/wait-lib.sh"

# The virtual desktop: Windows screen coordinates equal X root coordinates.
QM_SCREEN_W=800
QM_SCREEN_H=600
QM_CONFIG_KEY='HKCU\Software\Brandle Software\Quillmere\Config'
QM_DESKTOP_KEY='HKCU\Control Panel\Desktop'

qm_env_init() {
  mkdir -p "$1"
  QM_OUT="$(cd "$1" && pwd)"
  QM_BUILD="$(cd "$2" && pwd)"
  QM_EXE="$QM_BUILD/Quillmere.exe"
  QM_PROBE="$QM_BUILD/tests/e2e/qm_probe.exe"
  # The build's own loader: the 32-bit one for the 32-bit program and its
  # helper, wine64 for the 64-bit build.
  QM_WINE="$(qm_wine_for "$QM_EXE")"
  mkdir -p "$QM_OUT"
  export WINEPREFIX="$QM_OUT/prefix"
  # Wine's own errors only, into the logs: a helper or program that Wine
  # could not start says nothing else.
  export WINEDEBUG=-all,err+all
  # No Mono or Gecko installers: nothing here needs .NET or HTML. No menu
  # entries on the real user's desktop for the shortcuts an install makes.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  QM_XVFB_PID=
  QM_PID=
}

qm_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# The helper, with Windows line ends taken off its output.
qm_probe() {
  "$QM_WINE" "$QM_PROBE" "$@" 2>>"$QM_OUT/probe.stderr" | tr -d '\r'
  local status="${PIPESTATUS[0]}"
  ((status == 0)) || echo "[$(date +%T.%N)] qm_probe $*: status $status" >>"$QM_OUT/probe.stderr"
  return "$status"
}

# Z:\ form of a Linux path, as Wine shows it to the program.
qm_winpath() {
  local p
  p="$(readlink -f "$1")"
  printf 'Z:%s' "${p//\//\\}"
}

# One field (key=value) of every line that holds it.
qm_field_all() {
  local key="$1"
  sed -n "s/.*\\b$key=\\([^ ]*\\).*/\\1/p"
}

# ... of the first line that holds it.
qm_field() { qm_field_all "$1" | head -n 1; }

# Everything after "data=" of a registry value, or nothing when missing.
qm_reg_data() {
  qm_probe reg "$1" "$2" 2>/dev/null | sed -n 's/^.* data=//p'
}

qm_reg_type() {
  qm_probe reg "$1" "$2" 2>/dev/null | qm_field type
}

qm_prefix_fresh() {
  if [[ -n "${WINEPREFIX:-}" && -d "$WINEPREFIX" ]]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  qm_prefix_prepare
}

# Makes the prefix if it is missing, keeps one server running for the whole
# session (every probe call then starts fast) and sets the virtual desktop.
qm_prefix_prepare() {
  mkdir -p "$WINEPREFIX"
  # Fails harmlessly when this prefix's server already runs.
  wineserver -p 2>/dev/null || true
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    # wineboot's status says nothing useful; the registry writes below fail
    # if the prefix is not usable.
    "$QM_WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  # Every program on one virtual desktop, or each gets its own and the tray,
  # FindWindowA and the wallpaper go to the wrong one.
  qm_probe reg-set 'HKCU\Software\Wine\Explorer' Desktop:sz:shell &&
    qm_probe reg-set 'HKCU\Software\Wine\Explorer\Desktops' \
      "shell:sz:${QM_SCREEN_W}x${QM_SCREEN_H}"
}

qm_display_start() {
  local fdfile="$QM_OUT/display.number"
  rm -f "$fdfile"
  # -displayfd: Xvfb picks a free display number itself and writes it out.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" \
    >"$QM_OUT/xvfb.log" 2>&1 &
  QM_XVFB_PID=$!
  local i
  for ((i = 0; i < 200; i++)); do
    if [[ -s "$fdfile" ]]; then
      export DISPLAY=":$(tr -d '\n' <"$fdfile")"
      return 0
    fi
    kill -0 "$QM_XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "Xvfb did not start" >&2
  return 1
}

# The program's hidden frame: its window titled "Quillmere" that is not a
# message box. Prints its hwnd.
qm_frame() {
  qm_probe find --title Quillmere --class QuillmereFrame 2>/dev/null | qm_field hwnd
}

# Starts the program in CWD (default: the output folder); QM_PID is the
# Linux process, which is the Windows process under Wine.
qm_start() {
  local cwd="${1:-$QM_OUT}"
  QM_RUNS=$((${QM_RUNS:-0} + 1))
  (cd "$cwd" && exec "$QM_WINE" "$QM_EXE") >"$QM_OUT/quillmere-$QM_RUNS.log" 2>&1 &
  QM_PID=$!
}

# Waits for the frame window of a started program; prints its hwnd.
qm_wait_frame() {
  local i hwnd
  for ((i = 0; i < 200; i++)); do
    hwnd="$(qm_frame)"
    if [[ -n "$hwnd" ]]; then
      printf '%s\n' "$hwnd"
      return 0
    fi
    kill -0 "$QM_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Wine's debugger processes in this prefix: one starts for every crash, as
# "winedbg --auto PID EVENT".
qm_winedbg_pids() {
  local p
  for p in $(pgrep -f '^winedbg(\.exe)? --auto ' 2>/dev/null); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}

# Ends the program politely (WM_CLOSE to its frame), then by force.
qm_stop() {
  [[ -n "${QM_PID:-}" ]] || return 0
  local frame
  frame="$(qm_frame)"
  [[ -n "$frame" ]] && qm_probe close "$frame" >/dev/null 2>&1
  if ! qm_wait_exit "$QM_PID" 10; then
    kill "$QM_PID" 2>/dev/null
    qm_wait_exit "$QM_PID" 5 || kill -9 "$QM_PID" 2>/dev/null
  fi
  QM_PID=
}

qm_teardown() {
  qm_stop
  if [[ -n "${WINEPREFIX:-}" ]]; then
    wineserver -k 2>/dev/null || true
  fi
  if [[ -n "${QM_XVFB_PID:-}" ]]; then
    kill "$QM_XVFB_PID" 2>/dev/null
    wait "$QM_XVFB_PID" 2>/dev/null
    QM_XVFB_PID=
  fi
}

# Clicks button ID of a dialog or message box once the box takes input: a
# box is shown before it is active, and its thread may still be making it.
qm_click_box() {  # qm_click_box BOX ID
  qm_probe wait-ready "$1" --timeout 10000 >/dev/null && qm_probe click "$1" "$2"
}

# What the input of a window's thread is on (active, focus, capture): the
# state to report when a click had no effect.
qm_input_state() { qm_probe gui-thread "$1" 2>&1 | tr '\n' ' '; }

# The place of tray icon N (0 = the rightmost) at the taskbar's right end.
qm_icon_x() { echo $((QM_SCREEN_W - 10 - 20 * ${1:-0})); }
qm_icon_y() { echo $((QM_SCREEN_H - 10)); }

qm_tooltips_hidden() { ! qm_probe find --class tooltips_class32 --visible >/dev/null 2>&1; }

qm_mouse_away() { xdotool mousemove $((QM_SCREEN_W / 2)) $((QM_SCREEN_H / 3)); }

qm_click_icon() {  # qm_click_icon BUTTON [xdotool click options]
  local button="$1"
  shift
  xdotool mousemove "$(qm_icon_x)" "$(qm_icon_y)" click "$@" "$button"
}

# The virtual desktop as a PNG.
qm_shot() {
  import -window root -crop "${QM_SCREEN_W}x${QM_SCREEN_H}+0+0" +repage "$1"
}

# "R G B" of one pixel of an image file.
qm_pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}

# True when the pixel ($2,$3) of image $1 is within $5 of each channel of
# the colour $4 (RRGGBB).
qm_pixel_near() {
  local file="$1" x="$2" y="$3" hex="$4" tol="${5:-12}"
  local r g b er eg eb
  read -r r g b < <(qm_pixel "$file" "$x" "$y")
  er=$((16#${hex:0:2})) eg=$((16#${hex:2:2})) eb=$((16#${hex:4:2}))
  local d
  for d in $((r - er)) $((g - eg)) $((b - eb)); do
    ((d < 0)) && d=$((-d))
    ((d <= tol)) || return 1
  done
}

# Sample pictures: flat colours and quartered pictures, small enough that a
# centred one leaves the desktop's own background around it.
qm_make_samples() {
  local dir="$1"
  mkdir -p "$dir"
  local w
  w="$(qm_winpath "$dir")"
  qm_probe make-bmp "$w\\red.bmp" 200 150 flat:d02020 &&
    qm_probe make-jpeg "$w\\quarters.jpg" 240 180 quad:f0c020,2060e0,20b040,e040c0 95 &&
    qm_probe make-bmp "$w\\blue.bmp" 160 120 quad:2040d0,2040d0,80c0f0,80c0f0
}

# The taskbar painted afresh: a wallpaper repaint can leave the desktop's
# picture over it.
qm_redraw_taskbar() {
  local tray
  tray="$(qm_probe find --class Shell_TrayWnd | qm_field hwnd)"
  [[ -n "$tray" ]] && qm_probe redraw "$tray" && qm_probe sync "$tray"
}

# True when a tray icon is drawn at place N: its 16x16 square differs from
# a stretch of bare taskbar further left.
qm_icon_drawn() {
  local shot="$QM_OUT/.icon-check.png" n="${1:-0}"
  qm_redraw_taskbar
  qm_shot "$shot" || return 1
  local x=$(($(qm_icon_x "$n") - 8)) y=$(($(qm_icon_y) - 8))
  local diff
  diff="$(compare -metric AE -fuzz 5% "$shot[16x16+$x+$y]" \
    "$shot[16x16+$((QM_SCREEN_W / 2))+$y]" null: 2>&1)"
  [[ "${diff%% *}" =~ ^[0-9]+$ ]] && ((${diff%% *} > 10))
}

# The text rows of a popup menu's picture (a crop of the menu window), top
# to bottom, one line each: kind (text or separator), position, and counts
# of black and of grey pixels. Black ink means an enabled item, grey ink
# alone a greyed one; a bold item has more ink than a regular one. Rows
# closer than 3 pixels belong to one item (a mnemonic's underline).
qm_menu_rows() {
  local file="$1"
  convert "$file" -depth 8 txt:- | awk -v W="$(identify -format %w "$file")" '
    NR == 1 { next }
    {
      split($1, xy, /[,:]/); x = xy[1] + 0; y = xy[2] + 0
      s = $2; gsub(/[()]/, "", s); split(s, c, ",")
      r = c[1] + 0; g = c[2] + 0; b = c[3] + 0
      if (y > maxy) maxy = y
      if (x < 4 || x > W - 5) next
      if (r < 64 && g < 64 && b < 64) dark[y]++
      else if (r < 215 && g < 215 && b < 215) mid[y]++
    }
    END {
      inner = W - 8; n = -1; last = -10
      for (y = 3; y <= maxy - 3; y++) {
        ink = dark[y] + mid[y]
        if (ink == 0) continue
        if (y - last > 2) { n++; top[n] = y; d[n] = 0; m[n] = 0; wide[n] = 0; rows[n] = 0 }
        bottom[n] = y; last = y; rows[n]++
        d[n] += dark[y]; m[n] += mid[y]
        if (ink > 0.8 * inner) wide[n]++
      }
      for (i = 0; i <= n; i++) {
        h = bottom[i] - top[i] + 1
        kind = (wide[i] == rows[i] && h <= 3) ? "separator" : "text"
        printf "row=%d kind=%s top=%d height=%d dark=%d grey=%d\n", i, kind, top[i], h, d[i], m[i]
      }
    }'
}
