#!/usr/bin/env bash
# Runs the read-only-Windows-directory case of win32_tests.exe as a standard
# user of today's Windows meets it. Wine has no UAC and root writes
# anywhere, so the case gets a Wine prefix of its own (made on first use,
# about 20 s), owned by an ordinary user, with C:\windows read-only while
# the test runs.
#
#   readonly-windows.sh WIN32_TESTS_EXE PREFIX_PARENT
#
# As root the test runs as uid QM_TEST_UID (default 4242, no account
# needed); otherwise as the caller.
set -euo pipefail
# Debian's wine64 keeps wine64 and wineserver here, off the PATH.
export PATH="/usr/lib/wine:$PATH"

exe="$(realpath "$1")"
parent="$(realpath -m "$2")"
prefix="$parent/prefix"

if [[ "$(id -u)" == 0 ]]; then
  uid="${QM_TEST_UID:-4242}"
  as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups)
else
  uid="$(id -u)"
  as_user=()
fi
run() {
  "${as_user[@]}" env -i PATH="$PATH" HOME="$parent/home" WINEPREFIX="$prefix" \
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

if ! run test -r "$exe"; then
  echo "uid $uid cannot read $exe: put the build where an ordinary user can read it" >&2
  exit 1
fi

if [[ ! -f "$prefix/system.reg" ]]; then
  rm -rf "$parent"
  mkdir -p "$parent"
  mkdir -p "$parent/home"
  chown -R "$uid:$uid" "$parent"
  run wine64 wineboot -i >/dev/null 2>&1
  run wineserver -w
fi

windows="$prefix/drive_c/windows"
# Writable again however this ends, so the prefix can be removed and reused.
trap 'run wineserver -k 2>/dev/null || true; chmod u+w "$windows"' EXIT
chmod a-w "$windows"
run wine64 "$exe" --gtest_filter='*ReadOnlyWindowsDirectory*' 2>&1 | tee "$parent/last-run.log"
# A filter that matched nothing would pass: demand the one test.
grep -q '^\[  PASSED  \] 1 test\.' "$parent/last-run.log"
