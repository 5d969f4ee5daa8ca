# Phases and their reporting for the end-to-end suites (session.sh for the
# tray hosts, gnome.sh and plasma.sh for the real shells): each phase runs in a subshell that stops the
# program when it ends; "ok"/"FAIL" lines go to $QL_OUT/results.txt.
# Source it after lib.sh and set QL_SUITE; a suite may define
# ql_fail_state, which prints what a failure leaves beside its screenshot,
# and ql_fail_shot FILE, which takes that screenshot.

QL_RESULTS="$QL_OUT/results.txt"
: >"$QL_RESULTS"
phase=setup

fail() {
  local n
  n=$(($(grep -c . "$QL_RESULTS") + 1))
  echo "FAIL $QL_SUITE/$phase: $*" | tee -a "$QL_RESULTS"
  if declare -F ql_fail_shot >/dev/null; then ql_fail_shot "$QL_OUT/fail-$n.png" 2>/dev/null; fi
  {
    echo "== profile"
    cat "$QL_PROFILE" 2>&1
    declare -F ql_fail_state >/dev/null && ql_fail_state
    echo "== program log"
    cat "$QL_OUT/quillmere-$QL_RUNS.log" 2>&1
  } >"$QL_OUT/fail-$n.txt" 2>&1
  exit 1
}
pass() { echo "ok   $QL_SUITE/$phase: $*" | tee -a "$QL_RESULTS"; }
check() {
  local what="$1"
  shift
  if "$@" >/dev/null; then pass "$what"; else fail "$what"; fi
}
run_phase() {
  phase="$1"
  shift
  [[ -z "${QL_E2E_PHASES:-}" || " $QL_E2E_PHASES " == *" $phase "* ]] || return 0
  echo "=== $QL_SUITE/$phase"
  (
    trap ql_stop EXIT
    "$@"
  )
  local rc=$?
  if ((rc != 0)) && ! tail -n 1 "$QL_RESULTS" | grep -q "^FAIL $QL_SUITE/$phase"; then
    echo "FAIL $QL_SUITE/$phase: ended early (status $rc)" | tee -a "$QL_RESULTS"
  fi
}
setup_fail() {
  echo "FAIL $QL_SUITE/setup: $*" | tee -a "$QL_RESULTS"
  exit 1
}
