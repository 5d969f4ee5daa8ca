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
ql_poll 15 ql_icon_shown || { say "no icon"; exit 1; }
read -r ix iy < <(ql_icon_pos)

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$QL_PID/status"; }
# The program's line of xrestop: windows, GCs, fonts, pixmaps, other, pixmap
# bytes, other bytes, total bytes.
xres() {
  xrestop -b -m 1 2>/dev/null | awk -v pid="$QL_PID" '
    /^res-base/ { if (keep) exit; n = 0 }
    { line[n++] = $0 }
    /^PID:/ && $2 == pid { keep = 1 }
    END {
      if (!keep) exit 1
      for (i = 0; i < n; i++) {
        split(line[i], kv, ": *")
        if (kv[1] ~ /^(windows|GCs|fonts|pixmaps|misc|pixmap bytes|other bytes|total bytes)$/)
          printf "%s=%s ", kv[1] == "pixmap bytes" ? "pixmap_bytes" : kv[1] == "other bytes" ? "other_bytes" : kv[1] == "total bytes" ? "total_bytes" : kv[1], kv[2]
      }
      print ""
    }'
}

# One click, and the desktop's root pixmap (a new one per change) waited for.
click() {
  local before now i
  before="$(ql_desktop_value)"
  xdotool mousemove "$ix" "$iy" click 1
  for ((i = 0; i < 100; i++)); do
    now="$(ql_desktop_value)"
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
if ql_wait_exit "$QL_PID" 10; then
  wait "$QL_PID"
  say "ends on SIGTERM with status $?"
else
  say "did NOT end on SIGTERM"
fi
QL_PID=
