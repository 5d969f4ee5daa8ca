#!/usr/bin/env bash
# Times the bare X root window's setter against one conversion of an 18 MP
# photo: at 1920x1080 (an Xvfb) and on two monitors side by side (an
# Xephyr of a 1920x1080 and a 1280x1024 screen joined by Xinerama, nested in
# an Xvfb), for centred, tiled, stretched, filled and fitted, with the BMP's
# size: filled and fitted pictures are decoded only as large as the
# largest monitor needs, the others at full size.
#   bench/root-setter.sh [RUNS]      (default 7 paired runs per layout)
# QM_ROOT_SETTER names another build's root-setter, to compare two setters.
# Goal: the setter adds at most 50 ms to the conversion, centred or tiled,
# at 1920x1080. The X servers run with a temporary HOME and XDG folders and
# are ended by process id.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${1:-7}

cmake --preset linux >/dev/null
cmake --build --preset linux --target root-setter make-photo-jpeg >/dev/null
BIN=build/linux
OUT=build/bench
mkdir -p "$OUT"
PHOTO="$OUT/photo-5184x3456.jpg"
[ -f "$PHOTO" ] || "$BIN/make-photo-jpeg" "$PHOTO" 5184 3456

work="$(mktemp -d "${TMPDIR:-/tmp}/qm-root-bench.XXXXXX")"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work"/{home,config,data,cache,runtime,out}
chmod 700 "$work/runtime"

# Starts an X server that writes its display number on fd 3; sets
# DISPLAY_OF to ":N".
start_server() {
  local name=$1; shift
  "$@" -displayfd 3 -nolisten tcp -noreset 3>"$work/$name.display" >"$work/$name.log" 2>&1 &
  pids+=($!)
  SERVER_PID=$!
  for _ in $(seq 100); do
    [[ -s "$work/$name.display" ]] && break
    sleep 0.1
  done
  [[ -s "$work/$name.display" ]] || { echo "$name did not start" >&2; cat "$work/$name.log" >&2; exit 1; }
  DISPLAY_OF=":$(head -n1 "$work/$name.display")"
}

run() {
  env -u XDG_CURRENT_DESKTOP -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
    XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" DISPLAY="$1" \
    QM_BENCH_SERVER_PID="$SERVER_PID" QM_BENCH_MONITORS="$2" \
    "${QM_ROOT_SETTER:-$BIN/root-setter}" "$PHOTO" "$work/out" "$RUNS"
}

echo "== one monitor, 1920x1080 (Xvfb), $RUNS paired runs, medians"
start_server xvfb Xvfb -screen 0 1920x1080x24
run "$DISPLAY_OF" 1920x1080+0+0
echo "== two monitors, 1920x1080 + 1280x1024 (Xephyr, Xinerama), $RUNS paired runs, medians"
start_server outer Xvfb -screen 0 160x120x24
DISPLAY="$DISPLAY_OF" start_server xephyr Xephyr +xinerama -screen 1920x1080 -screen 1280x1024
run "$DISPLAY_OF" 1920x1080+0+0,1280x1024+1920+0
