#!/usr/bin/env bash
# Measures how often the idle program wakes: its voluntary context switches
# over SECONDS idle seconds (/proc/PID/status before and after), with its
# icon in a real tray host, in a session of its own (Xvfb, openbox,
# dbus-run-session, temporary HOME and XDG folders). A measurement to
# report, not a test: it prints the figure and fails only when the program
# does not start.
#
#   tests/e2e-linux/idle-wakeups.sh BUILD_DIR trayer|xfce [SECONDS]
#
# BUILD_DIR is any folder holding a quillmere executable.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.sh"

host="$2"
seconds="${3:-60}"
ql_env_init "$(cd "$1" && pwd)/idle-wakeups/$host" "$1"
if [[ -z "${QL_SESSION_BUS:-}" ]]; then
  QL_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
[[ "$host" == xfce ]] && export XDG_CURRENT_DESKTOP=XFCE
trap ql_teardown EXIT
ql_display_start || { echo "no display" >&2; exit 1; }
ql_host_start "$host" || { echo "$host did not start" >&2; exit 1; }
samples="$QL_OUT/samples"
ql_make_samples "$samples"
ql_set_profile "Directory=$samples" AutoChange=0 Display=2 Height=301 Width=301 Random=0 \
  Stretch=0 Time=20 When=0
ql_start
ql_wait_frame >/dev/null && qm_poll 15 ql_icon_shown || { echo "the program did not dock" >&2; exit 1; }
ql_mouse_away
# Settled: start-up and docking are over.
sleep 5
switches() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$QL_PID/status"; }
before=$(switches)
sleep "$seconds"
after=$(switches)
echo "$host: $((after - before)) voluntary context switches in $seconds idle seconds ($QL_BIN)"
