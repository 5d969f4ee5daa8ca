#!/usr/bin/env bash
# The Debian package on a clean Debian 12: a minimal root made by mmdebstrap
# from the archive apt is configured with, and in it
#   - apt-get installs the package with its own dependencies and nothing else
#     (no recommends, nothing installed beforehand);
#   - quillmere --version prints the version;
#   - the installed program starts on an Xvfb with trayer and a click on its
#     icon shows the folder's picture on the bare X root window;
#   - dpkg --purge leaves no file of the package behind.
# Xvfb, openbox, trayer and the checking tools run outside the root, as the
# other end-to-end tests run them: the program inside reaches the display
# through the X socket, bound into the root. So the root holds the package
# and what it depends on, nothing a test needs.
#
#   tests/deb/clean-root.sh [DEB]    (default: the newest build/deb/*.deb)
#
# The bootstrapped root is kept as <cache>/root-<key>.tar (key: the
# archive's sources and the variant) and the downloaded packages in
# <cache>/archives, so a second run fetches only the indexes. <cache> is
# $QM_DEB_CACHE, by default build/deb/cache. A failed run leaves its root
# and logs in build/deb/clean-root/.
# Last line: "deb-clean-root: ..." with the checks passed and the seconds.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../e2e-linux/lib.sh"
root="$ql_root"
started=$SECONDS

deb="${1:-$(ls -t "$root"/build/deb/quillmere_*.deb 2>/dev/null | head -n 1)}"
[[ -f "$deb" ]] || { echo "deb-clean-root: no package; make one with tools/deb.sh" >&2; exit 1; }
deb="$(realpath "$deb")"
version="$(dpkg-deb -f "$deb" Version)"
version="${version%-*}"
out="$root/build/deb/clean-root"
cache="${QM_DEB_CACHE:-$root/build/deb/cache}"
mkdir -p "$cache/archives/partial"

step() { ql_log "$*"; }
fail() {
  echo "deb-clean-root: FAIL: $*" >&2
  [[ -n "${DISPLAY:-}" ]] && import -window root "$out/fail.png" 2>/dev/null || true
  exit 1
}

# The Debian archive's entries of the sources apt is configured with (the
# enabled deb822 files and one-line lists), for the root's own apt.
archive_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" ]] && grep -E '^deb .* bookworm' "$f" || true
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && /(^|\n)Suites:[^\n]*bookworm/' "$f"
  done
}
sources="$(archive_sources)"
[[ -n "$sources" ]] || fail "apt is configured with no bookworm archive"

# --- The clean root, bootstrapped once per key ---------------------------
key="$(printf '%s\nvariant=apt\n' "$sources" | sha256sum | cut -c1-16)"
tarball="$cache/root-$key.tar"
if [[ ! -f "$tarball" ]]; then
  step "bootstrapping a Debian 12 root (mmdebstrap --variant=apt)"
  rm -f "$cache"/root-*.tar "$cache"/root-*.tar.part
  mmdebstrap --quiet --variant=apt --format=tar bookworm "$tarball.part" - <<<"$sources"
  mv "$tarball.part" "$tarball"
else
  step "reusing the root $(basename "$tarball")"
fi
chroot_dir="$out/root"
rm -rf "$out"
mkdir -p "$chroot_dir"
tar -C "$chroot_dir" -xf "$tarball"
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
cp "$deb" "$chroot_dir/tmp/"
mkdir -p "$chroot_dir/tmp/.X11-unix" "$chroot_dir/home/tester/pictures"
mkdir -m 700 "$chroot_dir/tmp/runtime"

# Runs a command in the root, in a mount namespace of its own (the mounts
# go with its last process): /proc, /dev, the X socket folder and the
# package cache. Without --fork the command keeps the process's id; with
# QD_EXEC set, in a background job, that is the job's id, so the program's
# windows carry the id the caller knows.
in_root() {
  ${QD_EXEC:+exec} unshare --mount --propagation private -- sh -ec '
    r="$1" archives="$2"; shift 2
    mount -t proc proc "$r/proc"
    mount --rbind /dev "$r/dev"
    mount --bind /tmp/.X11-unix "$r/tmp/.X11-unix"
    mount --bind "$archives" "$r/var/cache/apt/archives"
    exec chroot "$r" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
      DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"' sh "$chroot_dir" "$cache/archives" "$@"
}
# Every file and folder of the root, but the places the test itself writes
# and apt's and dpkg's own books.
root_files() {
  in_root find / -xdev \( -path /tmp -o -path /home/tester -o -path /var/lib/apt \
    -o -path /var/lib/dpkg -o -path /var/cache -o -path /var/log \) -prune -o -print | sort
}

# --- Install ---------------------------------------------------------------
step "apt-get install ./$(basename "$deb") in the clean root"
in_root apt-get -q update >"$out/apt-update.log" 2>&1 || fail "apt-get update (log: $out/apt-update.log)"
step "apt-get update done"
in_root dpkg-query -W -f '${Package}\n' | sort >"$out/packages-before.txt"
in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" >"$out/apt-install.log" 2>&1 ||
  fail "apt-get install (log: $out/apt-install.log)"
in_root dpkg-query -W -f '${Package}\n' | sort >"$out/packages-after.txt"
added=$(comm -13 "$out/packages-before.txt" "$out/packages-after.txt" | wc -l)
in_root dpkg-query -W -f '${Status}' quillmere | grep -q 'install ok installed' || fail "quillmere is not installed"

[[ "$(in_root quillmere --version)" == "quillmere $version" ]] || fail "quillmere --version: $(in_root quillmere --version 2>&1)"
in_root man -w quillmere >/dev/null 2>&1 || in_root test -f /usr/share/man/man1/quillmere.1.gz || fail "no man page"

# --- The installed program on a display, outside the root's view ----------
step "the installed program with trayer"
ql_env_init "$out/session" "$out"
trap 'ql_teardown' EXIT
ql_display_start || fail "Xvfb and openbox"
ql_host_start trayer || fail "trayer"
convert -size 320x240 xc:'#d02020' -quality 95 "$chroot_dir/home/tester/pictures/red.jpg"
QL_PROFILE="$chroot_dir/home/tester/.config/Brandle Software/Quillmere.conf"
ql_set_profile "Directory=/home/tester/pictures"
QD_EXEC=1 in_root env DISPLAY="$DISPLAY" HOME=/home/tester XDG_RUNTIME_DIR=/tmp/runtime \
  QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0 quillmere >"$out/quillmere.log" 2>&1 &
QL_PID=$!
ql_wait_frame >/dev/null || fail "the program starts (log: $out/quillmere.log)"
qm_poll 20 ql_icon_shown || fail "its icon in trayer"
[[ -z "$(ql_desktop_value)" ]] || fail "the root already has a wallpaper before the click"
ql_click_icon 1 || fail "clicking the icon"
has_wallpaper() { [[ -n "$(ql_desktop_value)" ]]; }
shows_picture() { [[ "$(ql_shown)" == red ]]; }
qm_poll 20 has_wallpaper || fail "the root window got no _XROOTPMAP_ID"
qm_poll 10 shows_picture || fail "the root window shows the picture (it shows: $(ql_shown))"
in_root test -f "/home/tester/.local/share/quillmere/Quillmere Wallpaper.bmp" ||
  fail "the wallpaper file in \$XDG_DATA_HOME/quillmere"
ql_teardown
trap - EXIT

# --- Purge -----------------------------------------------------------------
step "dpkg --purge quillmere"
in_root dpkg-query -L quillmere | sort >"$out/owned.txt"
root_files >"$out/files-installed.txt"
in_root dpkg --purge quillmere >"$out/purge.log" 2>&1 || fail "dpkg --purge (log: $out/purge.log)"
root_files >"$out/files-purged.txt"
new="$(comm -13 "$out/files-installed.txt" "$out/files-purged.txt")"
[[ -z "$new" ]] || fail "the purge made files:"$'\n'"$new"
left=()
while read -r path; do
  [[ -n "$path" && "$path" != /. ]] || continue
  grep -qxF "$path" "$out/files-purged.txt" || continue
  # A folder stays when another package owns it too.
  in_root test -d "$path" && in_root dpkg-query -S "$path" >/dev/null 2>&1 && continue
  left+=("$path")
done <"$out/owned.txt"
((${#left[@]} == 0)) || fail "left behind: ${left[*]}"
named="$(in_root find / -xdev \( -path /tmp -o -path /home/tester -o -path /proc \) -prune \
  -o -iname '*quillmere*' -print)"
[[ -z "$named" ]] || fail "still named after it:"$'\n'"$named"

rm -rf "$chroot_dir"
echo "deb-clean-root: $(basename "$deb") installed in a clean Debian 12 root with $added packages," \
  "--version, the first picture on trayer's display, purged without a trace ($((SECONDS - started)) s)"
