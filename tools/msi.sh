#!/usr/bin/env bash
# Makes the Windows Installer package of a release zip with wixl, from
# res/windows/quillmere.wxs and the zip's own files (so the package installs
# exactly what the zip holds).
#
#   tools/msi.sh ZIP OUT.msi [VERSION]
#
# ZIP is Quillmere-<version>-win32.zip or -win64.zip (tools/release.sh);
# VERSION, by default the zip's, is the package's ProductVersion (the
# upgrade test builds an older one from the same files).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
die() { echo "msi: $*" >&2; exit 1; }
(($# >= 2)) || die "usage: tools/msi.sh ZIP OUT.msi [VERSION]"
zip="$(realpath "$1")"
out="$(realpath -m "$2")"
name="$(basename "$zip" .zip)"
[[ "$name" =~ ^Quillmere-([0-9.]+)-win(32|64)$ ]] || die "$zip is not a Quillmere release zip"
version="${3:-${BASH_REMATCH[1]}}"
bits="${BASH_REMATCH[2]}"
arch=x86
((bits == 64)) && arch=x64
command -v wixl >/dev/null || die "wixl is missing (Debian package wixl; tools/setup.sh installs it)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
src="$work/$name"
[[ -f "$src/Quillmere.exe" ]] || die "$zip holds no $name/Quillmere.exe"
cp "$root/res/quillmere.ico" "$src/"
rm -f "$out"
# wixl takes the files' paths relative to where it runs.
(cd "$src" && wixl -a "$arch" -D Version="$version" -D Bits="$bits" -D Source=. \
  -D Icon=quillmere.ico -o "$out" "$root/res/windows/quillmere.wxs")
# wixl writes no component conditions: the login entry's is set here.
msibuild "$out" -q "UPDATE Component SET Condition = 'STARTATLOGIN = \"1\"' WHERE Component = 'LoginStart'"
[[ -f "$out" ]] || die "wixl made no $out"
echo "$out"
