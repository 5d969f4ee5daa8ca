#!/usr/bin/env bash
# The flakiness check: runs the suites and phases that once failed by chance
# over and over, beside a CPU load on every core, and reports every failure
# with its suite and phase, then a tally. A check to run by hand (the whole
# run takes hours), not part of tools/test-all.sh. The builds it runs must
# exist: tools/setup.sh, then the presets it names (it builds nothing).
#
#   tools/stress.sh [--only ITEMS] [--count N] [--suite-count N] [--load N]
#                   [--out DIR]
#
# ITEMS (comma- or space-separated; default: all of them):
#   trayer-menu      e2e-linux, trayer host, phase menu        (20 runs)
#   xfce-nested      e2e-linux, xfce host, phase nested        (20 runs)
#   wine-first-start the Wine e2e, phase first-start (mingw-x64; and
#                    mingw-i686 where 32-bit programs run)     (20 runs)
#   gnome            the whole real GNOME Shell suite           (20 runs)
#   ctest-linux, ctest-linux-asan, ctest-mingw-x64, ctest-mingw-i686
#                    a preset's whole ctest                     (20 runs)
#   ctest            all four (mingw-i686 only where 32-bit programs run)
#   e2e-linux        the trayer and xfce suites, whole          (5 runs)
#   e2e-gnome, e2e-plasma, e2e-wine
#                    a whole suite                              (5 runs)
# --count N sets the runs of the phases and presets, --suite-count N those
# of the whole suites. --load N starts N busy processes (default: one per
# core; 0 for none), ended by their ids when the check ends.
# Output in DIR (default build/stress): stress.log (every run's verdict), each
# run's log, and each failed run's output folder. Two checks may run at once
# with different DIRs and items (the Linux hosts and the shells have
# displays and buses of their own; one host's suite at a time).
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source tools/wine-lib.sh

all_items=(trayer-menu xfce-nested wine-first-start gnome ctest-linux ctest-linux-asan
  ctest-mingw-x64 ctest-mingw-i686 e2e-linux e2e-gnome e2e-plasma e2e-wine)
items=()
count=20
suite_count=5
load="$(nproc)"
out="$root/build/stress"
while (($#)); do
  case "$1" in
    --only) read -r -a more <<<"${2//,/ }"; items+=("${more[@]}"); shift 2 ;;
    --count) count="$2"; shift 2 ;;
    --suite-count) suite_count="$2"; shift 2 ;;
    --load) load="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    -h | --help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "stress.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
((${#items[@]})) || items=("${all_items[@]}")
expanded=()
for item in "${items[@]}"; do
  if [[ "$item" == ctest ]]; then
    expanded+=(ctest-linux ctest-linux-asan ctest-mingw-x64 ctest-mingw-i686)
  elif [[ " ${all_items[*]} " == *" $item "* ]]; then
    expanded+=("$item")
  else
    echo "stress.sh: unknown item $item; one of: ${all_items[*]} ctest" >&2
    exit 2
  fi
done
items=("${expanded[@]}")

run32=1
qm_wine_runs_32bit || run32=0
rm -rf "$out"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
log="$out/stress.log"
: >"$log"

# --- the load -------------------------------------------------------------------
load_pids=()
stop_load() {
  local p
  for p in "${load_pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${load_pids[@]}"; do wait "$p" 2>/dev/null; done
  load_pids=()
}
trap stop_load EXIT
trap 'exit 130' INT TERM
for ((i = 0; i < load; i++)); do
  yes >/dev/null &
  load_pids+=($!)
done

# --- reporting ------------------------------------------------------------------
declare -A runs_of=() failed_of=()
failures=()
say() { echo "$*" | tee -a "$log"; }

# verdict ITEM N STATUS RUN_LOG [RESULTS...]: the run's failures, each with
# its suite and phase (the "FAIL suite/phase: what" lines of the results
# files), or the run's status when no line says why.
verdict() {
  local item="$1" n="$2" status="$3" runlog="$4"
  shift 4
  local lines
  lines="$(cat "$@" 2>/dev/null | grep '^FAIL' || true)"
  runs_of[$item]=$((${runs_of[$item]:-0} + 1))
  if [[ -z "$lines" && "$status" == 0 ]]; then
    say "ok   $item #$n"
    return 0
  fi
  [[ -n "$lines" ]] || lines="FAIL $item: exit status $status, no result line (see $runlog)"
  failed_of[$item]=$((${failed_of[$item]:-0} + 1))
  local line
  while IFS= read -r line; do
    say "FAIL $item #$n: ${line#FAIL }"
    failures+=("$item #$n: ${line#FAIL }")
  done <<<"$lines"
  return 1
}

# keep ITEM N DIR...: a failed run's output, kept beside its log.
keep() {
  local item="$1" n="$2"
  shift 2
  local d
  for d in "$@"; do
    [[ -d "$d" ]] && cp -a "$d" "$out/$item-$n-$(basename "$d")" 2>/dev/null
  done
}

need_build() {
  [[ -e "$root/build/$1/$2" ]] && return 0
  say "SKIP $item: no build/$1/$2 (build the $1 preset first)"
  failures+=("$item: not run, build/$1 not built")
  return 1
}

# --- what runs ------------------------------------------------------------------
linux_phase() {  # linux_phase ITEM HOST PHASE N
  local item="$1" host="$2" phase="$3" n="$4" runlog="$out/$1-$4.log"
  QL_E2E_HOSTS="$host" QL_E2E_PHASES="$phase" QL_E2E_TIMER=0 \
    bash tests/e2e-linux/run-e2e.sh build/linux >"$runlog" 2>&1
  verdict "$item" "$n" $? "$runlog" "build/linux/e2e-linux/$host/results.txt" ||
    keep "$item" "$n" "build/linux/e2e-linux/$host"
}

linux_suite() {  # linux_suite ITEM HOSTS N
  local item="$1" hosts="$2" n="$3" runlog="$out/$1-$3.log" h results=()
  QL_E2E_HOSTS="$hosts" bash tests/e2e-linux/run-e2e.sh build/linux >"$runlog" 2>&1
  local status=$?
  for h in $hosts; do results+=("build/linux/e2e-linux/$h/results.txt"); done
  if ! verdict "$item" "$n" "$status" "$runlog" "${results[@]}"; then
    for h in $hosts; do keep "$item" "$n" "build/linux/e2e-linux/$h"; done
  fi
}

wine_e2e() {  # wine_e2e ITEM BUILD N [PHASES]
  local item="$1" build="$2" n="$3" phases="${4:-}" runlog="$out/$1-$2-$3.log"
  local e2e="$out/.wine-$build"
  QM_E2E_OUT="$e2e" QM_E2E_PHASES="$phases" bash tests/e2e/run-e2e.sh "build/$build" \
    >"$runlog" 2>&1
  local status=$?
  # Its results name the phase only: the suite is the build.
  sed -i "s|^FAIL |FAIL wine-$build/|" "$e2e/results.txt" 2>/dev/null
  verdict "$item" "$n" "$status" "$runlog" "$e2e/results.txt" || keep "$item" "$n-$build" "$e2e"
}

ctest_preset() {  # ctest_preset ITEM PRESET N
  local item="$1" preset="$2" n="$3" runlog="$out/$1-$3.log" jobs
  jobs="$(nproc)"
  [[ "$preset" == mingw-* ]] && jobs=$((jobs < 4 ? jobs : 4))
  ctest --preset "$preset" -j"$jobs" >"$runlog" 2>&1
  local status=$?
  # "The following tests FAILED:" then "  12 - Suite.Name (Failed)".
  sed -n '/The following tests FAILED/,$s/^[[:space:]]*[0-9]\+ - \(.*\)$/FAIL ctest-'"$preset"'\/\1/p' \
    "$runlog" >"$runlog.fails"
  verdict "$item" "$n" "$status" "$runlog" "$runlog.fails"
}

run_item() {
  local item="$1" n
  case "$item" in
    trayer-menu | xfce-nested | gnome | ctest-* | wine-first-start) local times=$count ;;
    *) local times=$suite_count ;;
  esac
  case "$item" in
    ctest-mingw-i686)
      if ((!run32)); then
        say "SKIP $item: $QM_NO_32BIT"
        return
      fi
      ;;
  esac
  say "=== $item: $times runs"
  local wine_builds=(mingw-x64)
  ((run32)) && wine_builds+=(mingw-i686)
  for ((n = 1; n <= times; n++)); do
    case "$item" in
      trayer-menu) need_build linux quillmere || return; linux_phase "$item" trayer menu "$n" ;;
      xfce-nested) need_build linux quillmere || return; linux_phase "$item" xfce nested "$n" ;;
      gnome | e2e-gnome) need_build linux quillmere || return; linux_suite "$item" gnome "$n" ;;
      e2e-plasma) need_build linux quillmere || return; linux_suite "$item" plasma "$n" ;;
      e2e-linux) need_build linux quillmere || return; linux_suite "$item" "trayer xfce" "$n" ;;
      ctest-*)
        need_build "${item#ctest-}" CTestTestfile.cmake || return
        ctest_preset "$item" "${item#ctest-}" "$n"
        ;;
      wine-first-start | e2e-wine)
        local b phases=
        [[ "$item" == wine-first-start ]] && phases=first-start
        for b in "${wine_builds[@]}"; do
          need_build "$b" Quillmere.exe || return
          wine_e2e "$item" "$b" "$n" "$phases"
        done
        ;;
    esac
  done
}

say "stress: ${items[*]}; $count runs of each phase and preset, $suite_count of each suite;" \
  "$load busy processes on $(nproc) cores"
started=$SECONDS
for item in "${items[@]}"; do
  run_item "$item"
done

say ""
say "=== tally ($(((SECONDS - started) / 60)) min)"
total_failed=0
for item in "${items[@]}"; do
  [[ -n "${runs_of[$item]:-}" ]] || continue
  say "$(printf '%-18s %3d runs, %3d failed' "$item" "${runs_of[$item]}" "${failed_of[$item]:-0}")"
  total_failed=$((total_failed + ${failed_of[$item]:-0}))
done
if ((${#failures[@]})); then
  say "failures:"
  for f in "${failures[@]}"; do say "  $f"; done
fi
not_run=0
for f in "${failures[@]}"; do [[ "$f" == *": not run, "* ]] && not_run=$((not_run + 1)); done
say "stress: $total_failed failed runs, $not_run items not run"
((total_failed == 0 && ${#failures[@]} == 0))
