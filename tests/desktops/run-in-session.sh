#!/usr/bin/env bash
# Runs a test program in a desktop session of its own: an Xvfb display, a
# private session bus (dbus-run-session), and HOME and the XDG folders in a
# temporary folder, so that nothing touches the real user's desktop. What it
# starts it ends by process id: Xvfb, and the services the bus started.
#   run-in-session.sh PROGRAM [ARGS...]
# QM_TEST_SCREEN sets Xvfb's screen (160x120x24); QM_GSETTINGS_BACKEND the
# GSettings backend (dconf).
set -euo pipefail

if [[ "${1:-}" == --inside ]]; then
  shift
  status=0
  "$@" || status=$?
  for name in ca.desrt.dconf org.xfce.Xfconf; do
    reply="$(gdbus call --session --dest org.freedesktop.DBus \
      --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "$name" 2>/dev/null)" || continue
    pid="$(sed -E 's/.*uint32 ([0-9]+).*/\1/' <<<"$reply")"
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  exit "$status"
fi

session="$(mktemp -d "${TMPDIR:-/tmp}/qm-session.XXXXXX")"
xvfb=""
cleanup() {
  if [[ -n "$xvfb" ]]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$session"
}
trap cleanup EXIT
mkdir -p "$session"/{home,config,data,cache,runtime}
chmod 700 "$session/runtime"

# Xvfb picks a free display itself and writes its number when it is ready.
# Like a desktop session's, it keeps its state when its last client leaves.
Xvfb -displayfd 3 -screen 0 "${QM_TEST_SCREEN:-160x120x24}" -nolisten tcp -noreset \
  3>"$session/display" 2>"$session/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [[ -s "$session/display" ]] && break
  sleep 0.1
done
if [[ ! -s "$session/display" ]]; then
  echo "Xvfb did not start:" >&2
  cat "$session/xvfb.log" >&2
  exit 1
fi

env -u DBUS_SESSION_BUS_ADDRESS -u XDG_CURRENT_DESKTOP -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE \
  HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data" \
  XDG_CACHE_HOME="$session/cache" XDG_RUNTIME_DIR="$session/runtime" \
  DISPLAY=":$(head -n1 "$session/display")" NO_AT_BRIDGE=1 \
  GSETTINGS_BACKEND="${QM_GSETTINGS_BACKEND:-dconf}" \
  dbus-run-session -- bash "$0" --inside "$@"
