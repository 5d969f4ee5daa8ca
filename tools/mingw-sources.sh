# What the mingw library builds share, sourced by build-libjpeg-mingw.sh and
# build-imagelibs-mingw.sh: the target from the script's argument, Debian's
# source packages unpacked under build/src, and a CMake toolchain file.
#
#   source tools/mingw-sources.sh x64|i686
# sets triple, processor, root and src_parent.

case "${1:-}" in
  x64)  triple=x86_64-w64-mingw32; processor=x86_64 ;;
  i686) triple=i686-w64-mingw32;   processor=i686 ;;
  *) echo "usage: $0 x64|i686" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
src_parent="$root/build/src"

# apt-get source needs a deb-src line. Derive it from the machine's own
# Debian sources so no mirror is baked into this repository.
ensure_deb_src() {
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    local main_sources=/etc/apt/sources.list.d/debian.sources
    if [[ ! -f "$main_sources" ]]; then
      echo "no $main_sources to derive a deb-src entry from" >&2
      exit 1
    fi
    sed -E 's/^Types:.*/Types: deb-src/' "$main_sources" \
      > /etc/apt/sources.list.d/quillmere-src.sources
    apt-get update
  fi
}

# The unpacked source tree of a Debian source package ($1), its directory
# named $2-*. The newest version first; a suite whose source files cannot be
# had (a security suite's pool, for one) falls back to the next version.
source_tree() {
  local package="$1" dir="$2" found
  mkdir -p "$src_parent"
  found="$(find "$src_parent" -maxdepth 1 -type d -name "$dir-*" | sort | tail -n 1)"
  if [[ -z "$found" ]]; then
    ensure_deb_src
    local version
    for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rV | uniq); do
      if (cd "$src_parent" && apt-get source "$package=$version" >/dev/null); then
        break
      fi
      echo "$package $version could not be had; trying an older one" >&2
    done
    found="$(find "$src_parent" -maxdepth 1 -type d -name "$dir-*" | sort | tail -n 1)"
  fi
  if [[ -z "$found" ]]; then
    echo "apt-get source $package produced no source tree" >&2
    exit 1
  fi
  echo "$found"
}

# write_toolchain FILE [PREFIX]: the cross compiler, and the places CMake
# may find the target's libraries (PREFIX too, for libraries built before).
write_toolchain() {
  cat > "$1" <<TC
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $processor)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple ${2:+"$2"})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC
}
