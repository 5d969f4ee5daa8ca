# Shared by the scripts that run Windows programs under Wine (source it; it
# sets no shell options): which Wine loader runs a program, whether this
# machine can run 32-bit programs, and whether a prefix has its 32-bit half.
#
#   qm_wine_for FILE          prints the loader for FILE
#   qm_kernel_runs_32bit      true when the kernel runs 32-bit x86 programs
#   qm_wine_runs_32bit        ...and 32-bit Wine is installed; else QM_NO_32BIT says why
#   qm_prefix_has_32bit DIR   the prefix can run 32-bit programs

# Debian keeps wine64, the 32-bit wine and wineserver here, off the PATH.
export PATH="/usr/lib/wine:$PATH"

QM_WINE64=/usr/lib/wine/wine64
[[ -x "$QM_WINE64" ]] || QM_WINE64="$(command -v wine64 || echo wine64)"
QM_WINE32=/usr/lib/wine/wine

# "14c" for a 32-bit x86 Windows program, "8664" for a 64-bit one; nothing
# for anything else (a builtin such as cmd or wineboot, a missing file).
qm_pe_machine() {
  local file="$1" pe
  [[ -f "$file" && "$(head -c 2 "$file" 2>/dev/null)" == MZ ]] || return 0
  pe="$(od -An -tu4 -j 60 -N 4 "$file" | tr -d ' ')"
  [[ "$(od -An -c -j "$pe" -N 2 "$file" | tr -d ' ')" == PE ]] || return 0
  od -An -tx2 -j $((pe + 4)) -N 2 "$file" | tr -d ' ' | sed 's/^0*//'
}

# The 32-bit loader for a 32-bit program; wine64 for everything else, which
# in a prefix with both halves also starts the builtins.
qm_wine_for() {
  if [[ "$(qm_pe_machine "$1")" == 14c ]]; then
    echo "$QM_WINE32"
  else
    echo "$QM_WINE64"
  fi
}

# Runs the smallest 32-bit x86 Linux program: one ELF header, one segment,
# and exit(42) through int 0x80. A kernel without IA-32 emulation refuses it
# (Exec format error). Sets QM_NO_32BIT when it does not run.
qm_kernel_runs_32bit() {
  local probe status out
  probe="$(mktemp "${TMPDIR:-/tmp}/qm-ia32-probe.XXXXXX")" || {
    QM_NO_32BIT="no temporary file for the 32-bit probe"
    return 1
  }
  # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054,
  # program headers at 52, one of 32 bytes.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$probe"
  # The one loadable segment: the whole file (96 bytes) at 0x08048000, r-x.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe"
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
  # mov eax, 1 (exit); mov ebx, 42; int 0x80
  printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$probe"
  chmod +x "$probe"
  out="$("$probe" 2>&1)"
  status=$?
  rm -f "$probe"
  if ((status == 42)); then
    return 0
  fi
  out="${out##*: }"
  QM_NO_32BIT="this kernel runs no 32-bit programs (a 32-bit x86 test program: ${out:-exit status $status})"
  return 1
}

qm_wine_runs_32bit() {
  qm_kernel_runs_32bit || return 1
  if [[ ! -x "$QM_WINE32" ]]; then
    QM_NO_32BIT="32-bit Wine is not installed ($QM_WINE32, package wine32:i386; tools/setup.sh installs it)"
    return 1
  fi
}

# A prefix made while 32-bit Wine was missing has an empty syswow64 and
# cannot run 32-bit programs.
qm_prefix_has_32bit() {
  [[ -f "$1/drive_c/windows/syswow64/kernel32.dll" ]]
}
