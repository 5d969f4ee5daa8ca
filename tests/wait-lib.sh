# Waiting helpers shared by the end-to-end scripts of both programs (source
# it; it sets no shell options).

# Runs a command until it succeeds, every 0.1 s, for at most $1 seconds.
qm_poll() {
  local limit="$1"
  shift
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

# Waits up to $2 seconds (default 20) for process $1 to end, and reaps it
# when it is a child of this shell.
qm_wait_exit() {
  local pid="$1" limit="${2:-20}"
  local end=$((SECONDS + limit))
  while kill -0 "$pid" 2>/dev/null; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
  wait "$pid" 2>/dev/null || true
  return 0
}
