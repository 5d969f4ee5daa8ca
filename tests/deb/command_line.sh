#!/bin/sh
# --help, --version and an unknown option answer before the program makes
# anything: no display, no session bus, and nothing written to the profile
# or the runtime folder (where the single-instance lock would go).
#   command_line.sh QUILLMERE VERSION
set -eu
bin="$1" version="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/home" "$tmp/run"
fail() { echo "FAIL: $*" >&2; echo "stdout:" >&2; cat "$tmp/out" >&2; echo "stderr:" >&2; cat "$tmp/err" >&2; exit 1; }
run() {
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u QT_QPA_PLATFORM \
    HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" XDG_CONFIG_HOME="$tmp/home/.config" \
    "$bin" "$@" >"$tmp/out" 2>"$tmp/err"
  code=$?
  set -e
}

run --version
[ "$code" -eq 0 ] || fail "--version exits $code"
[ "$(cat "$tmp/out")" = "quillmere $version" ] || fail "--version prints the version"
[ -s "$tmp/err" ] && fail "--version writes to standard error"

run --help
[ "$code" -eq 0 ] || fail "--help exits $code"
head -n 1 "$tmp/out" | grep -q '^Usage: quillmere ' || fail "--help prints the usage"
grep -q -- '--version' "$tmp/out" || fail "--help names --version"
[ -s "$tmp/err" ] && fail "--help writes to standard error"

run --no-such-option
[ "$code" -eq 2 ] || fail "an unknown option exits $code, not 2"
[ -s "$tmp/out" ] && fail "an unknown option writes to standard output"
[ "$(head -n 1 "$tmp/err")" = "quillmere: unknown option '--no-such-option'" ] ||
  fail "an unknown option is named on the first line"
sed -n 2p "$tmp/err" | grep -q '^Usage: quillmere ' || fail "the usage follows"

[ -z "$(ls -A "$tmp/home" "$tmp/run" | grep -v ':$' | grep .)" ] || fail "files were made: $(find "$tmp/home" "$tmp/run" -mindepth 1)"
echo "command line: --version, --help and an unknown option answered with no display"
