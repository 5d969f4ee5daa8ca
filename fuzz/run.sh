#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 30) and prints, per
# target, the inputs tried and the findings. Builds the `fuzz` preset into
# BUILD (default build/fuzz) first. The corpus grows in BUILD/corpus and
# survives between runs; findings land in BUILD/findings/<target>/.
#   fuzz/run.sh [SECONDS] [TARGET...]
# Exit status 1 when anything was found.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-30}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(decode wallpaper_bmp style_bmp settings image_list png webp compose)
build="${QM_FUZZ_BUILD:-build/fuzz}"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target make-fuzz-seeds $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null
rm -rf "$build/seeds"
"$build/fuzz/make-fuzz-seeds" "$build/seeds"

# One worker per target, one after the other: the machine is shared.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"
found=0
printf '%-14s %8s %12s %8s %9s\n' target seconds executions corpus findings > "$build/fuzz-summary.txt"
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  log="$build/fuzz-$t.log"
  set +e
  "$build/fuzz/fuzz_$t" "$corpus" "$build/seeds/$t" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=1024 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  n=$(find "$findings" -type f | wc -l)
  size=$(find "$corpus" -type f | wc -l)
  if ((rc != 0)) && ((n == 0)); then n=1; fi  # a crash outside an input
  ((n == 0)) || found=1
  printf '%-14s %8s %12s %8s %9s\n' "$t" "$seconds" "${execs:-?}" "$size" "$n" >> "$build/fuzz-summary.txt"
  if ((n)); then
    echo "--- $t: findings in $findings (log $log)"
    grep -E 'ERROR|FINDING|SUMMARY|runtime error' "$log" | head -5 || true
  fi
done
cat "$build/fuzz-summary.txt"
exit "$found"
