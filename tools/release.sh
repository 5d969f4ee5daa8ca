#!/usr/bin/env bash
# Makes every release and checks each: the two Windows zips, made by cpack
# in their build folders, their Windows Installer packages (tools/msi.sh),
# and the Debian package (tools/deb.sh, which makes
# and checks it). A zip holds the stripped program with its manifest, the
# readme, and the licence texts, equal to the installed ones they come from.
#
#   tools/release.sh               all three: Quillmere-<version>-win32.zip
#                                  (build/mingw-i686), -win64.zip
#                                  (build/mingw-x64, the build every test run
#                                  tests, stripped by cpack) and the .deb
#                                  and Quillmere-<version>-win32.msi, -win64.msi
#   tools/release.sh BUILD_DIR     the zip and MSI of that Windows build folder
#
# Prints the packages' paths last, one a line; exits non-zero on the first
# thing wrong.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
die() { echo "release: $*" >&2; exit 1; }
tmps=()
trap 'rm -rf "${tmps[@]}"' EXIT

# Makes and checks the zip of build folder $1; its path goes in $zip.
release_zip() {
  local build
  build="$(realpath "$1")"
  cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

  [[ -f "$build/CMakeCache.txt" ]] || die "$build is not a configured build folder"
  cmake --build "$build" --target quillmere
  version="$(cache CMAKE_PROJECT_VERSION)"
  name="$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")"
  case "$name" in
    "Quillmere-$version-win32") format=pei-i386 prefix=i686-w64-mingw32 bits=32 ;;
    "Quillmere-$version-win64") format=pei-x86-64 prefix=x86_64-w64-mingw32 bits=64 ;;
    *) die "unexpected package name '$name' for version $version" ;;
  esac
  zip="$build/$name.zip"
  rm -f "$zip"
  (cd "$build" && cpack -G ZIP >/dev/null)
  [[ -f "$zip" ]] || die "cpack made no $zip"

  # Exactly these files, under one folder named like the zip.
  expected="$(printf '%s\n' "$name/Quillmere.exe" "$name/README.txt" \
    "$name/licenses/libjpeg-turbo-LICENSE.md" "$name/licenses/libjpeg-turbo-README.ijg" \
    "$name/licenses/mingw-w64-runtime.txt" "$name/licenses/zlib-README.txt" \
    "$name/licenses/libpng-LICENSE.txt" "$name/licenses/libwebp-COPYING.txt" \
    "$name/licenses/libwebp-PATENTS.txt" | sort)"
  listed="$(unzip -Z1 "$zip" | grep -v '/$' | sort)"
  [[ "$listed" == "$expected" ]] || die "the zip holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"

  out="$(mktemp -d)"
  tmps+=("$out")
  unzip -q "$zip" -d "$out"
  dir="$out/$name"

  # The program: the right machine, no symbols or debug sections, terminal-
  # server aware, and the manifest as resource type 24, id 1.
  exe="$dir/Quillmere.exe"
  "$prefix-objdump" -f "$exe" | grep -q "file format $format" || die "Quillmere.exe is not $format"
  headers="$("$prefix-objdump" -h "$exe")"
  ! grep -q '\.debug' <<<"$headers" || die "Quillmere.exe has debug sections"
  "$prefix-nm" "$exe" 2>&1 | grep -q ': no symbols$' || die "Quillmere.exe is not stripped"
  details="$("$prefix-objdump" -p "$exe")"
  grep -q 'TERMINAL_SERVICE_AWARE' <<<"$details" || die "Quillmere.exe is not terminal-server aware"
  # In the resource tree: a type entry 24 (0x18) whose first name entry is 1.
  awk '/^[0-9a-f]+   Entry: ID: 0x000018,/ { t = 1; next }
       t && /^[0-9a-f]+     Entry: ID: 0x000001,/ { found = 1 }
       t && /^[0-9a-f]+   Entry:/ { t = 0 }
       END { exit !found }' <<<"$details" || die "Quillmere.exe carries no manifest (type 24, id 1)"

  # Plain text for any Notepad: CRLF line ends only.
  for f in "$dir/README.txt" "$dir"/licenses/*; do
    if tr -d '\r' <"$f" | cmp -s - "$f" || grep -q -e $'[^\r]$' -e '^$' <"$f"; then
      die "${f#"$dir/"} does not have CRLF line ends throughout"
    fi
  done
  head -n 1 "$dir/README.txt" | grep -q "^Quillmere $version"$'\r'"\$" || die "README.txt does not start with the version"
  # It names the Windows it is for (a sentence that may break across lines).
  tr -s '\r\n' '  ' <"$dir/README.txt" | grep -qF "This is the $bits-bit program, for $bits-bit Windows" ||
    die "README.txt does not say it is the $bits-bit program"
  for want in 'HKEY_CURRENT_USER\Software\Brandle Software\Quillmere\Config' \
    '%LOCALAPPDATA%\Quillmere' 'Quillmere Wallpaper.bmp' 'reg delete' \
    "msiexec /i $name.msi STARTATLOGIN=0" "msiexec /x $name.msi" '%LOCALAPPDATA%\Programs\Quillmere' \
    'Start when I log in' 'CurrentVersion\Run' \
    'This software is based in part on the work of the Independent JPEG Group.'; do
    grep -qF "$want" "$dir/README.txt" || die "README.txt does not say: $want"
  done

  # The licence texts are the installed ones, line ends aside.
  same_text() { cmp -s <(tr -d '\r' <"$1") <(tr -d '\r' <"$2") || die "${1#"$dir/"} differs from $2"; }
  same_text "$dir/licenses/libjpeg-turbo-LICENSE.md" "$(cache QM_LIBJPEG_LICENSE)"
  same_text "$dir/licenses/libjpeg-turbo-README.ijg" "$(cache QM_LIBJPEG_README_IJG)"
  same_text "$dir/licenses/mingw-w64-runtime.txt" "$(cache QM_MINGW_RUNTIME_COPYRIGHT)"
  same_text "$dir/licenses/zlib-README.txt" "$(cache QM_ZLIB_LICENSE)"
  same_text "$dir/licenses/libpng-LICENSE.txt" "$(cache QM_LIBPNG_LICENSE)"
  same_text "$dir/licenses/libwebp-COPYING.txt" "$(cache QM_LIBWEBP_LICENSE)"
  same_text "$dir/licenses/libwebp-PATENTS.txt" "$(cache QM_LIBWEBP_PATENTS)"

  echo "release: $(basename "$zip") ($(stat -c %s "$zip") bytes, Quillmere.exe $(stat -c %s "$exe") bytes): contents checked"
  release_msi
}

# Makes and checks the Windows Installer package of the zip just made; its
# path goes in $msi. Installing it is tested under Wine by the end-to-end
# suite (tests/e2e/run-e2e.sh, phase msi).
release_msi() {
  msi="$build/$name.msi"
  bash "$root/tools/msi.sh" "$zip" "$msi" >/dev/null
  table() { msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r'; }
  local arch=Intel
  ((bits == 64)) && arch=x64
  msiinfo suminfo "$msi" | grep -qx "Template: $arch;1033" || die "$(basename "$msi") is not for $arch"
  # The zip's files, in their folders.
  [[ "$(table File | cut -f 3 | sort)" == "$(printf '%s\n' Quillmere.exe README.txt \
    libjpeg-turbo-LICENSE.md libjpeg-turbo-README.ijg mingw-w64-runtime.txt | sort)" ]] ||
    die "$(basename "$msi") holds other files than the zip"
  local props
  props="$(table Property)"
  for want in ProductName$'\t'Quillmere ProductVersion$'\t'"$version" ALLUSERS$'\t'2 \
    MSIINSTALLPERUSER$'\t'1 STARTATLOGIN$'\t'1 ARPPRODUCTICON$'\t'quillmere.ico \
    UpgradeCode$'\t'{D492044F-2387-42C6-957A-FB0DDEDBD4F5}; do
    grep -qxF "$want" <<<"$props" || die "$(basename "$msi"): property ${want/$'\t'/ = } missing"
  done
  table Directory | grep -qxF "UserPrograms"$'\t'"LocalAppDataFolder"$'\t'"Programs" ||
    die "$(basename "$msi") does not install into %LOCALAPPDATA%\\Programs"
  table Component | grep -q $'^LoginStart\t.*\tSTARTATLOGIN = "1"\t' ||
    die "$(basename "$msi"): the login entry does not depend on STARTATLOGIN"
  table Upgrade | grep -q WIX_UPGRADE_DETECTED || die "$(basename "$msi") upgrades nothing"
  echo "release: $(basename "$msi") ($(stat -c %s "$msi") bytes): tables checked"
}

if (($#)); then
  release_zip "$1"
  printf '%s\n' "$zip" "$msi"
  exit 0
fi
made=()
for preset in mingw-i686 mingw-x64; do
  [[ -f "$root/build/$preset/CMakeCache.txt" ]] || (cd "$root" && cmake --preset "$preset" >/dev/null)
  release_zip "$root/build/$preset"
  made+=("$zip" "$msi")
done
# deb.sh's last line is the package's path, its report line before it.
debout="$(mktemp)"
tmps+=("$debout")
bash "$root/tools/deb.sh" | tee "$debout"
deb="$(tail -n 1 "$debout")"
[[ "$deb" == *.deb && -f "$deb" ]] || die "tools/deb.sh made no package"
printf '%s\n' "${made[@]}" "$deb"
