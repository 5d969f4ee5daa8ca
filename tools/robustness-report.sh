#!/usr/bin/env bash
# Regenerates docs/robustness.md: fuzzes every target for SECONDS (default
# 300), runs the hostile-file and fault tests and the 100,000-change long
# run (plain build for memory, sanitizer build for leaks), the Windows
# program's long run under wine64 (tests/e2e/long-run.sh, QM_WINE_CLICKS
# and QM_WINE_MENUS, default 1000 and 200), and rewrites the page with the
# figures. With QM_REPORT_SKIP_WINE=1, or when the Wine run leaves no
# summary, the section between the wine-long-runs markers is kept as it
# stands in the page.
#   tools/robustness-report.sh [SECONDS] [CHANGES]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-300}"
changes="${2:-100000}"
page=docs/robustness.md
# Build folders; override to keep clear of someone else's builds.
fuzz_build="${QM_FUZZ_BUILD:-build/fuzz}"
linux_build="${QM_LINUX_BUILD:-build/linux}"
asan_build="${QM_ASAN_BUILD:-build/linux-asan}"
mingw_build="${QM_MINGW_BUILD:-build/mingw-x64}"
wine_clicks="${QM_WINE_CLICKS:-1000}"
wine_menus="${QM_WINE_MENUS:-200}"
export QM_FUZZ_BUILD="$fuzz_build"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT

fuzz_rc=0
if [[ "${QM_REPORT_REUSE_FUZZ:-0}" == 1 && -f "$fuzz_build/fuzz-summary.txt" ]]; then
  # Only the tests and long runs again; the fuzzing figures of the last run.
  echo "=== fuzzing: reusing $fuzz_build/fuzz-summary.txt"
  seconds="$(awk 'NR == 2 { print $2 }' "$fuzz_build/fuzz-summary.txt")"
  awk 'NR > 1 && $5 != 0 { bad = 1 } END { exit bad }' "$fuzz_build/fuzz-summary.txt" || fuzz_rc=1
else
  echo "=== fuzzing, $seconds s a target"
  bash fuzz/run.sh "$seconds" || fuzz_rc=$?
fi
fuzz_table="$(cat "$fuzz_build/fuzz-summary.txt")"
fuzz_total="$(awk 'NR > 1 { t += $2; e += $3 } END { printf "%d s of fuzzing, %d inputs tried", t, e }' "$fuzz_build/fuzz-summary.txt")"

echo "=== hostile-file, fault and long-run tests (linux-asan)"
cmake --preset linux-asan -B "$asan_build" >/dev/null
cmake --build "$asan_build" --target core_tests long-run >/dev/null
tests_log="$("$asan_build/tests/core_tests" --gtest_filter='HostileFiles.*:Faults.*:Reentrancy.*:LongRun.*' 2>&1 || true)"
tests_summary="$(grep -E '^\[  (PASSED|FAILED|SKIPPED) ' <<<"$tests_log" | sed 's/^/    /' || true)"

echo "=== long run, plain build"
cmake --preset linux -B "$linux_build" >/dev/null
cmake --build "$linux_build" --target long-run >/dev/null
plain="$("$linux_build/long-run" "$changes" 2>&1 || true)"
echo "$plain"
echo "=== long run, sanitizer build (LeakSanitizer at exit)"
asan_rc=0
asan="$(ASAN_OPTIONS=detect_leaks=1 "$asan_build/long-run" "$changes" 2>&1)" || asan_rc=$?
echo "$asan"
if ((asan_rc == 0)) && ! grep -q 'LeakSanitizer' <<<"$asan"; then
  leaks="none reported (LeakSanitizer ran at exit; exit status 0)"
else
  leaks="REPORTED, exit status $asan_rc (see the output above)"
fi

wine_section="$(sed -n '/<!-- wine-long-runs -->/,/<!-- \/wine-long-runs -->/p' "$page" 2>/dev/null || true)"
if [[ "${QM_REPORT_SKIP_WINE:-0}" != 1 ]]; then
  echo "=== long run of the Windows program under wine64, $wine_clicks clicks, $wine_menus menus"
  cmake --preset mingw-x64 -B "$mingw_build" >/dev/null
  cmake --build "$mingw_build" --target quillmere qm_probe >/dev/null
  wine_summary="$mingw_build/long-run/summary.txt"
  rm -f "$wine_summary"
  QM_LONGRUN_OUT="$mingw_build/long-run" \
    bash tests/e2e/long-run.sh "$mingw_build" "$wine_clicks" "$wine_menus" || true
  if [[ -s "$wine_summary" ]]; then
    if grep -q '^GDI objects .*not available' "$wine_summary"; then
      gui_text="Neither \`GetGuiResources\` nor the count from inside the program
answered in this run (see the figures), so the GDI and USER handle counts
are missing; what was measured is memory and behaviour."
    else
      gui_text="GDI and USER object counts are taken on the program's process after
the warm-up and at the end, and must not grow by more than two:
\`GetGuiResources\` where it answers; under Wine, where it is a stub,
\`qm_probe\` loads \`qm_count.dll\` into the program, which tries every
GDI and USER handle value there and counts its own live objects (windows,
menus, icons and cursors for USER)."
    fi
    wine_section="<!-- wine-long-runs -->
\`tests/e2e/long-run.sh $mingw_build $wine_clicks $wine_menus\`: the real
\`Quillmere.exe\` under wine64 in a fresh prefix on an Xvfb display of its
own, over a folder of three BMPs and three JPEGs, each its own colour and
size. $wine_clicks left clicks on the tray icon (xdotool) with a popup menu
after every few, closed with Escape and \"&Previous Wallpaper\" in turn.
Every change is checked as it happens: the desktop's \"Wallpaper\" value
names the entry the list order (and Previous) requires, and for a JPEG the
wallpaper BMP is whole and of that JPEG's size.
$gui_text
Resident memory is that of the Linux process that runs the program, after
the warm-up and at the end (growth must stay under 1 MiB). Afterwards a click
must still change the wallpaper, the menu still open, the screen show the
last picture, and WM_CLOSE end the program with its profile saved.

\`\`\`
$(cat "$wine_summary")
\`\`\`

Changes started inside other changes are the \`nested\` phase of
\`tests/e2e/run-e2e.sh\` (run by the full test): a click while a cut JPEG's
\"JPEG Error\" box (\"Premature end of JPEG file\") is open runs a whole
second conversion, of the next JPEG, inside the first; when the box closes
the first one ends, and the wallpaper BMP must be that cut picture, whole
and valid, pixel for pixel our own decode of it. Further clicks must walk
the list in order from the nested change's entry, and a click while the
settings dialog is open changes the wallpaper too.
<!-- /wine-long-runs -->"
  else
    echo "=== no summary from the Wine long run: its section is kept as it stands"
  fi
fi
if [[ -z "$wine_section" ]]; then
  wine_section='<!-- wine-long-runs -->
*To be filled in: GUI object counts (GDI and USER handles) over 1,000
clicks of the Windows program under Wine.*
<!-- /wine-long-runs -->'
fi

{
  cat <<HEAD
# Robustness: hostile input, faults and long runs

What the core is tried against, and the figures of the last run. This page
is written by \`tools/robustness-report.sh\`; the figures below are from
$(date -u +%Y-%m-%d) on $(nproc) cores, commit $(git rev-parse --short HEAD).

## Fuzzing

libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer (preset
\`fuzz\`, clang), over the headless platform, one target after another, each
for $seconds s. Seeds come from \`make-fuzz-seeds\` (our own encoder and
hand-made streams); the corpus grows in \`build/fuzz/corpus\`.

| target | what it drives | checked after every input |
|---|---|---|
| \`decode\` | \`JpegFile::DecodeToRgb\` on arbitrary file bytes | a buffer only without a fatal error, of the promised size; a failure always tells the user; only the program's boxes, each with its own style, one warning at most |
| \`wallpaper_bmp\` | \`MakeWallpaperBmp\`, Windows directory a scratch folder | success: a whole BMP whose size fields match the file; failure: a box, and the previous wallpaper file byte for byte; never a temporary left |
| \`style_bmp\` | Auto-Tile \`SetWallpaperStyle\` and the change, on a \`.bmp\` of arbitrary bytes and arbitrary thresholds | the tile value by the rule from the header bytes (centred when under 26 bytes), the style by \`Stretch\`, the BMP handed over as it is, no box |
| \`settings\` | \`LoadSettings\`/\`SaveSettings\` over nine values each missing, a number, a string or 0-16 raw bytes | numbers taken as stored, anything else the default; all nine saved with their types, in order; a save loads back exactly |
| \`image_list\` | \`BuildImageList\` over in-memory folders of arbitrary names (length, bytes, case, double-byte characters), files appearing or the folder vanishing between the passes; then changes and Previous | array sized by the counts, entries in search order, old list kept on an empty count, indices inside the list, only list entries reach the desktop |

Every input is fuzzed, whatever size it declares: decoding time and memory
follow the size a file declares, not its length, so the size rules and the
decode's memory cap (library and whole-picture buffer together)
must refuse at once what cannot be held. The targets lower the cap to 32
MiB, and \`wallpaper_bmp\`'s volume has 32 MiB free beside the margin:
what the real cap lets through decodes for seconds, ten times that under
the sanitizers, beyond the 10 s limit. libFuzzer runs with
\`-rss_limit_mb=1024 -malloc_limit_mb=1024\`, so a decode that buffered
before refusing would be a finding (as it was when tried).

Last run ($fuzz_total):

\`\`\`
$fuzz_table
\`\`\`

HEAD
  if ((fuzz_rc == 0)); then
    echo "Findings: none in this run."
  else
    echo "Findings: **yes** — see \`build/fuzz/findings/\` and the logs in \`build/fuzz/\`."
  fi
  cat <<'BODY'

Found and fixed so far: see "Findings" at the end of this page.

## Hostile files (`tests/core/hostile_files_test.cpp`)

All made at test time by our own code. For every input: no crash, no hang,
no leak (the sanitizer build runs them too), only the boxes the program
has ("JPEG Fatal Error" with the error icon and no owner, "JPEG Error"
owned by the active window and at most once per decode, the application's
"JpegFile :\nOut of memory"), and where the conversion failed the previous
wallpaper file unchanged, byte for byte, and no temporary left.

| input | tried | outcome |
|---|---|---|
| baseline and progressive JPEG cut at ~61 points each | 122 | cut in the headers: fatal box, old file kept; cut in the data: one "Premature end of JPEG file" box and the whole picture |
| seeded random bit flips (1-8 bits, 300 seeds; headers declaring over 2^20 pixels skipped) | ~300 | by the rules above |
| empty file | 1 | "Empty input file" |
| headers only, cut before the scan | 1 | "Premature end of JPEG file", then "Invalid JPEG file structure: missing SOS marker" |
| frame header declaring 65500 x 65500 | 2 | "JpegFile :\nOut of memory", before any allocation, in both the conversion and the buffer decode |
| a real progressive 64 x 64 whose frame header declares 65500 x 65500, or 20000 x 20000 | 3 | 65500: "JpegFile :\nOut of memory"; 20000 (a BMP holds it, its coefficients pass the cap): "Backing store not supported" in the "JPEG Fatal Error" box, and out of memory in the buffer decode; all before anything is buffered (peak memory checked); 64 x 20000 still converts |
| 1 x 65500 and 65500 x 1 with almost no data | 2 | converted, the whole size written |
| 12-bit precision (SOF1) | 1 | "Unsupported JPEG data precision 12" |
| arithmetic coding (SOF9), restart markers every row | 3 | the same pixels as the plain Huffman file, no box; a cut restart stream warns and fills the picture |
| CMYK, YCCK, Adobe-inverted CMYK | 3 | converted, no box |
| SOI, APP0, APP1, COM, EOI only | 1 | "JPEG datastream contains no image" |
| a BMP named `.JPG` | 1 | "Not a JPEG file: starts with 0x42 0x4d"; the index moves, nothing set |
| a JPEG named `.bmp` | 1 | measured by its bytes at 18 and 22, handed over as it is, no box |
| BMP headers of 0, 1, 25 and 26 bytes, zero, negative and extreme sizes | 9 | centred when the size is unknown, tiled when below the thresholds |

## Faults (`tests/core/faults_test.cpp`)

| fault | how | behaviour checked |
|---|---|---|
| disk full while writing | the temporary is `/dev/full` (ENOSPC on every write); and, where the test may mount one (root), a 64 KiB tmpfs as the Windows directory — skipped with a message otherwise | the tmpfs's own free space refuses up front ("Error: Can't save as BMP"); with room reported that is then taken (and on `/dev/full`): "fwrite error\nGiving up" (twice in Auto-Tile, no layout written), nothing set, previous wallpaper whole, no temporary; with room again the next change works |
| Windows directory unusable | a regular file in its place, or missing (works as root too) | "Error: Can't save as BMP", the index moves, nothing set |
| too little free space | the headless volume's free space one byte under the file and the 64 MiB margin; the 64 KiB tmpfs's own | "Error: Can't save as BMP" before anything is written; at the margin it converts |
| no wallpaper folder, or a relative one | no Windows directory and no own folder (no home), or a relative name; started in the picture folder | "Error: Can't save as BMP" for each conversion, nothing set, nothing made in the current folder |
| folder vanishes between counting and collecting | the headless search hook removes the real folder before the third pass | 0, empty list sized by the counts, changes, re-apply and style do nothing, no box |
| unreadable folder | the hook refuses every search (and `chmod 000` when not root) | 0, the old entries kept, listed again once readable |
| profile values of the wrong type or size | strings, empty strings, 0-8 and 4096 raw bytes for numbers, a number for `Directory`; extreme numbers | defaults for all, repaired to their types by the constructor's save; extreme numbers taken as stored; an over-long folder lists nothing |
| desktop key missing / unopenable | headless switches | missing: created by the style write, re-layout does nothing; unopenable: nothing written or read, the wallpaper still set, no box |

A change started from inside a conversion's message box is tested in
`tests/core/reentrancy_test.cpp` (see Findings).

Last run of these tests, the reentrancy test and the short long run
(linux-asan):

BODY
  echo "$tests_summary"
  cat <<LONG

## Long run (\`bench/long_run.cpp\`)

$changes changes over twelve small JPEGs of every kind and six BMPs: the
mode turns every 500 changes through sequential/random x center/tile/
auto-tile; every 7th change is a Previous, with re-applies, Tile/Center
current and a rebuild every 1,000 changes mixed in. Resident memory is
read after the warm-up and at the end; it must grow by less than 1 MiB.
\`tests/core/long_run_test.cpp\` runs 2,000 of the same changes as a test.

Plain build (\`build/linux/long-run $changes\`):

\`\`\`
$plain
\`\`\`

Sanitizer build (\`build/linux-asan/long-run $changes\`): leaks $leaks.

\`\`\`
$(grep -vE '^(resident|growth)' <<<"$asan")
\`\`\`

## Wine long runs (Windows program, GUI objects)

$wine_section

LONG
  # Hand-kept list of what the fuzzers and tests found; kept across runs.
  sed -n '/^## Findings/,$p' "$page" 2>/dev/null | grep -q . &&
    sed -n '/^## Findings/,$p' "$page" ||
    printf '## Findings\n\nNone yet.\n'
} >"$out"
mv "$out" "$page"
trap - EXIT
echo "=== wrote $page"
