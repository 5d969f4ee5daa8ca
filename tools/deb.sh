#!/usr/bin/env bash
# Builds the release program and makes the Debian package with cpack, then
# checks it: build/deb/quillmere_<version>-1_<arch>.deb (version from
# res/quillmere.rc). The build folder is build/deb/build, with Debian's
# build flags (hardening, -O2) and no tests.
#
#   tools/deb.sh        prints the package's path last; exits non-zero on
#                       the first thing wrong
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
out="$root/build/deb"
build="$out/build"
die() { echo "deb: $*" >&2; exit 1; }

# Debian's flags, with every hardening option (bindnow too); the build type
# adds only NDEBUG, not its own -O3.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# Given on every configure: from the environment cmake reads them only into
# a new cache.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DQM_TESTS=OFF -DQM_LINUX_DESKTOPS=ON -DQM_DEB_PACKAGE=ON \
  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
# What the package installs, not the tools and benchmarks beside it.
cmake --build "$build" --target quillmere linux-icons linux-docs

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
deb="$out/quillmere_${version}-1_${arch}.deb"
rm -f "$build"/*.deb "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
mv "$build/quillmere_${version}-1_${arch}.deb" "$deb" || die "cpack made no quillmere_${version}-1_${arch}.deb"

# What it holds and says.
field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Version)" == "$version-1" ]] || die "version $(field Version), not $version-1"
grep -q 'libqt6widgets6' <<<"$(field Depends)" || die "Depends lacks the Qt libraries: $(field Depends)"
grep -qw 'qt6-wayland' <<<"$(field Depends)" || die "Depends lacks qt6-wayland"
[[ "$(field Suggests)" == gnome-shell-extension-appindicator ]] || die "Suggests: $(field Suggests)"
files="$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')"
for want in /usr/bin/quillmere /usr/share/applications/quillmere.desktop \
  /usr/share/icons/hicolor/48x48/apps/quillmere.png /usr/share/man/man1/quillmere.1.gz \
  /usr/share/doc/quillmere/copyright /usr/share/doc/quillmere/changelog.Debian.gz \
  /usr/share/metainfo/com.brandlesoftware.quillmere.metainfo.xml; do
  grep -qx "$want" <<<"$files" || die "the package lacks $want"
done

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
appstreamcli validate --no-net "$tmp"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
  die "appstreamcli validate: $(appstreamcli validate --no-net "$tmp"/usr/share/metainfo/*.metainfo.xml)"
desktop-file-validate "$tmp/usr/share/applications/quillmere.desktop"
# The man page renders without complaint.
warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tmp/usr/share/man/man1/quillmere.1.gz" 2>&1 >/dev/null)"
[[ -z "$warnings" ]] || die "man page: $warnings"

# lintian: no errors; the warnings it has are listed.
lintian --allow-root --tag-display-limit 0 "$deb" >"$out/lintian.txt" 2>&1 || true
! grep -q '^E:' "$out/lintian.txt" || die "lintian errors:"$'\n'"$(grep '^E:' "$out/lintian.txt")"
echo "deb: $(basename "$deb") ($(stat -c %s "$deb") bytes): contents checked;" \
  "lintian: $(grep -c '^W:' "$out/lintian.txt" || true) warnings (build/deb/lintian.txt)"
echo "$deb"
