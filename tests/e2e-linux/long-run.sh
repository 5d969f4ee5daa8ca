#!/usr/bin/env bash
# The long run of the native program: CLICKS clicks on its icon in trayer,
# each waited for until the desktop changed, with the program's resident
# memory and its X server resources (xrestop) after a warm-up and at the end.
# A benchmark to run and report, not part of the test command.
#
#   tests/e2e-linux/long-run.sh [BUILD_DIR] [CLICKS] [WARMUP]   (build/linux, 1000, 100)
#
# Figures in BUILD_DIR/long-run-linux/report.txt.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

build="${1:-$ql_root/build/linux}"
clicks="${2:-1000}"
warmup="${3:-100}"
ql_env_init "$build/long-run-linux" "$build"
if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  rm -rf "$QL_OUT"
  ql_env_init "$build/long-run-linux" "$build"
  QL_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
report="$QL_OUT/report.txt"
: >"$report"
say() { echo "$*" | tee -a "$report"; }
trap ql_teardown EXIT

ql_display_start || exit 1
ql_host_start trayer || { say "trayer did not start"; exit 1; }
ql_make_samples "$QL_OUT/samples"
ql_set_profile "Directory=$QL_OUT/samples" AutoChange=0 Display=2 Height=301 Width=301 Stretch=0
ql_desktop_reset
ql_start
ql_wait_frame >/dev/null || { say "the program did not start"; exit 1; }
qm_poll 15 ql_icon_shown || { say "no icon"; exit 1; }
read -r ix iy < <(ql_icon_pos)

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$QL_PID/status"; }
# The program's X resources (xrestop), and the pixmaps of every client
# (a wallpaper pixmap kept after its setter closed belongs to none).
xres() {
  xrestop -b -m 1 2>/dev/null | awk -v pid="$QL_PID" '
    /^[0-9]+ - / { mine = index($0, "PID:" pid " ") > 0; next }
    {
      line = $0; sub(/^[ \t]+/, "", line)
      split(line, kv, /[ ]*:[ ]*/); key = kv[1]; value = kv[2]; sub(/^~/, "", value)
      if (mine && key ~ /^(windows|GCs|fonts|pixmaps|pictures|cursors|unknowns)$/) own = own key "=" value " "
      if (mine && key == "total bytes") own = own "bytes=" value " "
      if (key == "pixmaps") allpix += value
      if (key == "pixmap bytes") allbytes += value
    }
    END { printf "%s| all clients: pixmaps=%d pixmap_bytes=%d\n", own, allpix, allbytes }'
}

# The colour of one pixel of the desktop. The samples differ in colour and
# come in turn, so each change shows a new one. (The root pixmap's id is no
# sign of a change: the server hands a new setter the id of the last one,
# whose resources it freed.)
pixel() { import -window root -crop 1x1+512+500 -depth 8 txt:- 2>/dev/null | grep -o '#[0-9A-F]\{6\}' | head -n 1; }

# One click, and the change it makes waited for.
click() {
  local before now i
  before="$(pixel)"
  xdotool mousemove "$ix" "$iy" click 1
  for ((i = 0; i < 100; i++)); do
    now="$(pixel)"
    [[ -n "$now" && "$now" != "$before" ]] && return 0
    sleep 0.05
  done
  return 1
}

missed=0
started=$SECONDS
for ((n = 1; n <= warmup; n++)); do
  click || missed=$((missed + 1))
done
sleep 1
rss_warm="$(rss_kb)"
xres_warm="$(xres)"
say "after $warmup warm-up clicks: rss=${rss_warm} kB  X: $xres_warm"
for ((n = 1; n <= clicks; n++)); do
  click || missed=$((missed + 1))
  if ((n % 250 == 0)); then
    say "  $n clicks: rss=$(rss_kb) kB  X: $(xres)"
  fi
done
sleep 1
rss_end="$(rss_kb)"
xres_end="$(xres)"
say "after $clicks more clicks:   rss=${rss_end} kB  X: $xres_end"
say "resident memory change after the warm-up: $((rss_end - rss_warm)) kB"
say "clicks without a change: $missed of $((warmup + clicks)); $((SECONDS - started)) s"
click && say "still answers a click: yes" || say "still answers a click: NO"
kill "$QL_PID"
if qm_wait_exit "$QL_PID" 10; then
  wait "$QL_PID"
  say "ends on SIGTERM with status $?"
else
  say "did NOT end on SIGTERM"
fi
QL_PID=
