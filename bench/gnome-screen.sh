#!/usr/bin/env bash
# Times a click on the program's icon until the real GNOME Shell 43 shows the
# new picture, for an 18 MP photo (5184x3456 JPEG) centred (the full-size
# BMP) and filled (decoded only as large as the 1280x720 monitor needs), on
# the shell the GNOME end-to-end suite starts (tests/e2e-linux/gnome-shell.sh:
# headless Wayland, the program a Wayland client, the icon double-clicked
# with a pointer made inside the compositor).
#   bench/gnome-screen.sh [RUNS]      (default 5 clicks per layout)
# Goal: Fill, click to pixels within 0.8 s.
#
# A run's time starts at the first press, stamped by the shell itself as it
# sends the button (its wall clock, the same as this script's), and ends when
# the shell's own screenshot call returns with a frame that shows the new
# picture: that frame was painted before the call returned, and the frame of
# the screenshot before it, painted after that one was asked for, did not
# show it. So the figure includes the program's answer to the click (the
# conversion and the GSettings write), the shell's loading of the BMP, its
# painting and at most one screenshot's length, and its resolution is one
# screenshot: the screenshots are of the middle 320x240 only and are taken
# one after the other, as fast as the shell gives them; their median length
# is printed. "Shows" is decided afterwards, from every screenshot of the
# run: each is matched against the middle of each picture laid out as the
# layout lays it out (ImageMagick, from the JPEG) and of the black desktop,
# by RMSE; the picture shown is the nearest within a bound, and the time is
# the first screenshot from which on every one shows the new picture (not
# the one before the click). The shell's own steps are stamped inside it
# too: when the GSettings change reached it, and when its background
# manager swapped in the loaded picture.
#
# It then hands the shell the BMPs the program made under fresh names
# through GSettings alone, which times the shell's loading apart from the
# program, and times the conversion alone (jpeg-to-wallpaper).
#
# Runs in its own dbus-run-session with temporary HOME and XDG folders
# (build/bench/gnome-screen); every process it starts it ends by its id.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
RUNS=${1:-5}
BIN="$root/build/linux"
OUT="$root/build/bench/gnome-screen"
PHOTOS="$root/build/bench"
e2e="$root/tests/e2e-linux"

if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  (cd "$root" && { [[ -f build/linux/CMakeCache.txt ]] || cmake --preset linux >/dev/null; } &&
    cmake --build --preset linux --target quillmere make-photo-jpeg jpeg-to-wallpaper >/dev/null) ||
    exit 1
  rm -rf "$OUT"
  mkdir -p "$PHOTOS"
  # A landscape of its own for every picture, one more than the clicks (and
  # an even number), so that every click changes the picture and the
  # screenshots say which one came.
  for ((seed = 1; seed <= (RUNS + 2) / 2 * 2; seed++)); do
    [[ -f "$PHOTOS/photo-5184x3456-seed$seed.jpg" ]] ||
      "$BIN/make-photo-jpeg" "$PHOTOS/photo-5184x3456-seed$seed.jpg" 5184 3456 baseline 90 "$seed" ||
      exit 1
  done
fi
source "$e2e/lib.sh"
ql_env_init "$OUT" "$BIN"
if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  QL_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$e2e/gnome-shell.sh"
trap 'ql_stop; gnome_shell_stop' EXIT
command -v gnome-shell >/dev/null || { echo "no gnome-shell: run tools/setup.sh" >&2; exit 1; }

# The middle of the screen, below the top bar and away from the icon's menu.
AREA=(480 240 320 240)
# Farther than this from every reference (RMSE, 0 to 1), a screenshot shows
# none of them: a picture part drawn, or something else.
BOUND=0.08

now_us() { echo "${EPOCHREALTIME/./}"; }

# shot FILE: the shell's screenshot of AREA.
shot() {
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.ScreenshotArea "${AREA[@]}" false "$1" >/dev/null 2>&1
}

# ref NAME JPEG LAYOUT: the middle AREA of the picture laid out on the
# monitor (centred 1:1, or filled), as reference NAME.
ref() {
  local name="$1" jpeg="$2" geo
  case "$3" in
    centred) geo=(-gravity center -crop "${QL_SCREEN_W}x${QL_SCREEN_H}+0+0" +repage) ;;
    filled) geo=(-resize "${QL_SCREEN_W}x${QL_SCREEN_H}^" -gravity center
      -crop "${QL_SCREEN_W}x${QL_SCREEN_H}+0+0" +repage) ;;
  esac
  convert "$jpeg" "${geo[@]}" -gravity northwest -crop "${AREA[2]}x${AREA[3]}+${AREA[0]}+${AREA[1]}" \
    +repage "$OUT/ref-$name.png"
}

# classify FILE: the reference it shows (seed<k>, black), or "other".
classify() {
  local best=other bestd=$BOUND name d
  for name in "${REFS[@]}" black; do
    d="$(compare -metric RMSE "$1" "$OUT/ref-$name.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')"
    [[ -n "$d" ]] || continue
    if awk -v d="$d" -v b="$bestd" 'BEGIN { exit !(d < b) }'; then best=$name bestd=$d; fi
  done
  echo "$best"
}

# The shell's own stamps (its wall clock, microseconds): the GSettings change
# as it reached the shell, and the swap of its background actor, which comes
# once the new picture is loaded.
install_stamps() {
  shell_eval '(() => {
    const { Gio, GLib } = imports.gi;
    global.qmBench = { uri: 0, swap: 0 };
    global.qmBenchSettings = new Gio.Settings({ schema_id: "org.gnome.desktop.background" });
    global.qmBenchSettings.connect("changed::picture-uri", () => { global.qmBench.uri = GLib.get_real_time(); });
    Main.layoutManager._bgManagers.forEach(m =>
      m.connect("changed", () => { global.qmBench.swap = GLib.get_real_time(); }));
    return Main.layoutManager._bgManagers.length;
  })()'
}
stamp() { shell_eval "String(global.qmBench.$1)"; }

# watch DIR T0 BEFORE: screenshots into DIR until three in a row no longer
# show BEFORE (the program may first give the shell the old picture again
# under a new name, with a new layout), or 20 s; then finds the first of the
# screenshots from which on every one shows one picture other than BEFORE.
# Prints "SHOWN_US SHOT_COUNT MEDIAN_SHOT_US PICTURE", or fails.
watch() {
  local dir="$1" t0="$2" before="$3" i=0 a b changed=0 limit=$(($(now_us) + 20000000)) d
  mkdir -p "$dir"
  : >"$dir/times"
  while :; do
    a="$(now_us)"
    shot "$dir/$i.png" || { echo "watch: no screenshot" >&2; return 1; }
    b="$(now_us)"
    echo "$i $a $b" >>"$dir/times"
    d="$(compare -metric RMSE "$dir/$i.png" "$OUT/ref-$before.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p')"
    i=$((i + 1))
    if awk -v d="${d:-1}" -v b="$BOUND" 'BEGIN { exit !(d > b) }'; then
      changed=$((changed + 1))
      ((changed >= 3)) && break
    else
      changed=0
    fi
    (($(now_us) < limit)) || { echo "watch: still $before after 20 s" >&2; break; }
  done
  local n=$i classes=() last k
  for ((k = 0; k < n; k++)); do classes+=("$(classify "$dir/$k.png")"); done
  echo "${classes[*]}" >"$dir/classes"
  last="${classes[n - 1]}"
  [[ "$last" != other && "$last" != "$before" ]] ||
    { echo "watch: the last screenshot shows $last (before: $before)" >&2; return 1; }
  for ((k = n - 1; k > 0; k--)); do [[ "${classes[k - 1]}" == "$last" ]] || break; done
  local shown med
  shown="$(awk -v k="$k" '$1 == k { print $3 }' "$dir/times")"
  med="$(awk '{ print $3 - $2 }' "$dir/times" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')"
  echo "$((shown - t0)) $n $med $last"
}

# stats: "median min max" of the numbers on stdin (microseconds) in seconds.
stats() {
  sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "- - -"; exit }
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f %.3f %.3f\n", m / 1e6, v[1] / 1e6, v[NR] / 1e6 }'
}
median() { stats | cut -d' ' -f1; }

# --- the shell ---------------------------------------------------------------------

ql_log "starting gnome-shell"
gnome_shell_start || { echo "gnome-shell did not start (log: $QL_OUT/gnome-shell.log)" >&2; exit 1; }
install_stamps >/dev/null || { echo "the shell takes no stamps" >&2; exit 1; }
convert -size "${AREA[2]}x${AREA[3]}" xc:black "$OUT/ref-black.png"

files=$(((RUNS + 2) / 2 * 2))
REFS=()
for ((k = 1; k <= files; k++)); do REFS+=("seed$k"); done
# refs LAYOUT: every picture's reference as laid out so.
refs() {
  local k
  for ((k = 1; k <= files; k++)); do ref "seed$k" "$PHOTOS/photo-5184x3456-seed$k.jpg" "$1"; done
}

# Center and Fill with the picture's size alone deciding (Display=0: no
# tiling), then again in Auto-Tile mode (Display=2, the program's default
# and the end-to-end suite's profile), whose measuring conversion of each
# picture is a full-size one (thresholds of 1x1: an 18 MP photo is never
# tiled).
LAYOUTS=(center fill center-autotile fill-autotile)
declare -A STRETCH=([center]=0 [fill]=2 [center-autotile]=0 [fill-autotile]=2)
declare -A DISPLAY_MODE=([center]=0 [fill]=0 [center-autotile]=2 [fill-autotile]=2)
declare -A LAID=([0]=centred [2]=filled) OPTION=([0]=centered [2]=zoom)
declare -A BMP_SIZE
results="$OUT/results"
: >"$results"
for layout in "${LAYOUTS[@]}"; do
  stretch="${STRETCH[$layout]}"
  refs "${LAID[$stretch]}"
  pictures="$OUT/pictures-$layout"
  mkdir -p "$pictures"
  for ((k = 1; k <= files; k++)); do
    ln -f "$PHOTOS/photo-5184x3456-seed$k.jpg" "$pictures/$(printf 'photo-%02d.jpg' "$k")"
  done
  gsettings set "$BG" picture-uri "''"
  gsettings set "$BG" picture-uri-dark "''"
  # Outside Auto-Tile a change leaves the layout to the desktop's own value,
  # which the settings dialog writes on OK: as it would have.
  gsettings set "$BG" picture-options "${OPTION[$stretch]}"
  export XDG_DATA_HOME="$QL_OUT/data-$layout"
  ql_set_profile AutoChange=0 "Display=${DISPLAY_MODE[$layout]}" Random=0 Time=20 When=0 \
    "Directory=$pictures" Width=1 Height=1 "Stretch=$stretch"
  ql_start
  qm_poll 20 icon_shown || { echo "$layout: no icon in the top bar (log: quillmere-$QL_RUNS.log)" >&2; exit 1; }
  sleep 1
  for ((run = 1; run <= RUNS; run++)); do
    dir="$OUT/$layout-$run"
    mkdir -p "$dir"
    pointer_away
    shot "$dir/before.png" || { echo "no screenshot" >&2; exit 1; }
    before="$(classify "$dir/before.png")"
    click_icon 2 || { echo "$layout: the icon takes no double click" >&2; exit 1; }
    t0="$(shell_eval 'String(global.qmPressedAt)')"
    if ! seen="$(watch "$dir" "$t0" "$before")"; then
      echo "$layout run $run: no new picture seen (screenshots in $dir)" >&2
      echo "  press $t0, picture-uri changed $(stamp uri), swapped $(stamp swap), now $(now_us)" >&2
      echo "  picture-uri $(ql_shell_value)" >&2
      ls -l --full-time "$XDG_DATA_HOME/quillmere" >&2
      exit 1
    fi
    read -r shown count medshot picture <<<"$seen"
    uri="$(stamp uri)" swap="$(stamp swap)"
    echo "$layout $run $shown $((uri - t0)) $((swap - uri)) $((t0 + shown - swap)) $medshot $count $picture" >>"$results"
    ql_log "$layout run $run: ${shown} us to $picture ($count screenshots)"
  done
  BMP_SIZE[$layout]="$(stat -c %s "$XDG_DATA_HOME/quillmere/Quillmere Wallpaper.bmp")"
  ql_stop
done

# The shell alone: each layout's BMP, as the program made it, named under a
# fresh name through GSettings (a name mutter has not loaded: it keeps what
# it loaded by path), timed from the GSettings write.
shell_alone="$OUT/shell-alone"
: >"$shell_alone"
for layout in center fill; do
  refs "${LAID[${STRETCH[$layout]}]}"
  gsettings set "$BG" picture-options "${OPTION[${STRETCH[$layout]}]}"
  for ((run = 1; run <= RUNS; run++)); do
    dir="$OUT/alone-$layout-$run"
    mkdir -p "$dir"
    copy="$dir/premade-$run.bmp"
    cp "$QL_OUT/data-$layout/quillmere/Quillmere Wallpaper.bmp" "$copy"
    # A black desktop first, so that each write changes what is shown.
    gsettings set "$BG" picture-uri "''"
    qm_poll 10 eval 'shot "$dir/before.png" && [[ "$(classify "$dir/before.png")" == black ]]' ||
      { echo "$layout: the desktop does not turn black" >&2; exit 1; }
    before=black
    t0="$(now_us)"
    gsettings set "$BG" picture-uri "file://$copy"
    if ! seen="$(watch "$dir" "$t0" "$before")"; then
      echo "$layout: the shell did not show the pre-made BMP (screenshots in $dir)" >&2
      exit 1
    fi
    read -r shown count medshot picture <<<"$seen"
    uri="$(stamp uri)" swap="$(stamp swap)"
    echo "$layout $run $shown $((uri - t0)) $((swap - uri)) $((t0 + shown - swap)) $medshot $count $picture" >>"$shell_alone"
  done
done

# The conversion alone, as the program does it for each layout.
conversion="$OUT/conversion"
: >"$conversion"
for layout in center fill; do
  case "$layout" in center) args=() ;; fill) args=(--fill "${QL_SCREEN_W}x${QL_SCREEN_H}") ;; esac
  for ((run = 1; run <= RUNS; run++)); do
    a="$(now_us)"
    "$BIN/jpeg-to-wallpaper" "${args[@]}" "$PHOTOS/photo-5184x3456-seed$((run % 2 + 1)).jpg" \
      "$OUT/conversion-$layout.bmp" >/dev/null || { echo "jpeg-to-wallpaper failed" >&2; exit 1; }
    b="$(now_us)"
    echo "$layout $((b - a))" >>"$conversion"
  done
done

col() { awk -v l="$1" -v c="$2" '$1 == l { print $c }' "$3"; }
echo
echo "== click -> pixels on GNOME Shell 43 (headless Wayland, ${QL_SCREEN_W}x${QL_SCREEN_H}), 18 MP JPEG (5184x3456), $RUNS runs, seconds"
printf '%-16s %8s %8s %8s %11s   %9s %10s %10s %6s\n' layout median min max "BMP bytes" program "shell load" paint+shot "shot"
for layout in "${LAYOUTS[@]}"; do
  read -r med min max < <(col "$layout" 3 "$results" | stats)
  printf '%-16s %8s %8s %8s %11s   %9s %10s %10s %6s\n' "$layout" "$med" "$min" "$max" "${BMP_SIZE[$layout]}" \
    "$(col "$layout" 4 "$results" | median)" "$(col "$layout" 5 "$results" | median)" \
    "$(col "$layout" 6 "$results" | median)" "$(col "$layout" 7 "$results" | median)"
done
echo "  program: the press until the shell saw the GSettings change (the click, the conversion, the write)"
echo "  shell load: that change until the shell swapped in the loaded picture"
echo "  paint+shot: that swap until a screenshot showing it returned; shot: one screenshot's median length"
echo
echo "== the shell alone: the program's BMP under a fresh name through GSettings, $RUNS runs, seconds"
printf '%-16s %8s %8s %8s   %10s %10s\n' layout median min max "shell load" paint+shot
for layout in center fill; do
  read -r med min max < <(col "$layout" 3 "$shell_alone" | stats)
  printf '%-16s %8s %8s %8s   %10s %10s\n' "$layout" "$med" "$min" "$max" \
    "$(col "$layout" 5 "$shell_alone" | median)" "$(col "$layout" 6 "$shell_alone" | median)"
done
echo
echo "== the conversion alone (jpeg-to-wallpaper, whole process), $RUNS runs, seconds"
printf '%-16s %8s %8s %8s %11s\n' layout median min max "BMP bytes"
for layout in center fill; do
  read -r med min max < <(col "$layout" 2 "$conversion" | stats)
  printf '%-16s %8s %8s %8s %11s\n' "$layout" "$med" "$min" "$max" "$(stat -c %s "$OUT/conversion-$layout.bmp")"
done
