#!/usr/bin/env bash
# Runs a program beside a headless sway of its own: a private session bus
# (dbus-run-session), HOME and the XDG folders in a temporary folder, and
# sway on wlroots' headless backend with a 320x240 output. sway refuses to
# run as root, so it runs as `nobody` with a runtime folder of its own;
# the program reaches it through SWAYSOCK and WAYLAND_DISPLAY (the socket's
# full path) and gets no DISPLAY. Pictures that sway should show must be
# readable by `nobody`. What it starts it ends by process id.
#   run-in-sway.sh PROGRAM [ARGS...]
set -euo pipefail

if [[ "${1:-}" == --inside ]]; then
  shift
  sway_run="$QM_SWAY_RUNTIME"
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin HOME=/nonexistent XDG_RUNTIME_DIR="$sway_run" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$QM_SWAY_CONFIG" >"$QM_SWAY_LOG" 2>&1 &
  sway=$!
  stop_sway() { kill "$sway" 2>/dev/null || true; wait "$sway" 2>/dev/null || true; }
  trap stop_sway EXIT
  for _ in $(seq 100); do
    socket="$(compgen -G "$sway_run/sway-ipc.*.sock" || true)"
    [[ -n "$socket" && -S "$sway_run/wayland-1" ]] && break
    kill -0 "$sway" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -z "${socket:-}" ]]; then
    echo "sway did not start:" >&2
    cat "$QM_SWAY_LOG" >&2
    exit 1
  fi
  export SWAYSOCK="$socket" WAYLAND_DISPLAY="$sway_run/wayland-1"
  status=0
  "$@" || status=$?
  exit "$status"
fi

session="$(mktemp -d "${TMPDIR:-/tmp}/qm-sway.XXXXXX")"
cleanup() { rm -rf "$session"; }
trap cleanup EXIT
# sway's user must reach its runtime folder and the pictures below.
chmod 711 "$session"
mkdir -p "$session"/{home,config,data,cache,runtime,sway-runtime,tmp}
chmod 700 "$session/runtime" "$session/sway-runtime"
chmod 1777 "$session/tmp"
chown nobody:nogroup "$session/sway-runtime"
cat >"$session/sway.conf" <<'CONF'
output HEADLESS-1 resolution 320x240 bg #000000 solid_color
CONF
chmod 644 "$session/sway.conf"

env -u DBUS_SESSION_BUS_ADDRESS -u XDG_CURRENT_DESKTOP -u DISPLAY -u WAYLAND_DISPLAY \
  -u SWAYSOCK -u XDG_SESSION_TYPE \
  HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data" \
  XDG_CACHE_HOME="$session/cache" XDG_RUNTIME_DIR="$session/runtime" TMPDIR="$session/tmp" \
  QM_SWAY_CONFIG="$session/sway.conf" QM_SWAY_LOG="$session/sway.log" \
  QM_SWAY_RUNTIME="$session/sway-runtime" NO_AT_BRIDGE=1 \
  dbus-run-session -- bash "$0" --inside "$@"
