# Sourced. Whether and how this machine runs 32-bit x86 programs. Some virtual machines run
# a kernel built without that support; there no 32-bit program starts by itself (the
# kernel answers "Exec format error"), and scripts/setup.sh registers qemu-i386 with the
# kernel's binfmt_misc so that the 32-bit Linux unit tests run all the same. The 32-bit
# Wine does not start through that emulation: whether it can run is decided by starting a
# 32-bit Windows program under it, with a time limit (wine32_starts).
#   host_runs_i386          32-bit Linux programs start (natively or through the registration)
#   i386_through_qemu       they start only through the qemu-i386 registration
#   register_i386_emulation as root, where the kernel refuses them: the registration (idempotent)
#   wine32_starts PROGRAM   the 32-bit Wine runs PROGRAM (an i686 .exe) within the time limit
# Only "Exec format error" counts as "no": a missing or broken 32-bit loader is a set-up
# fault and must show as a failure, not be passed over.
I386_LOADER=/lib/ld-linux.so.2
BINFMT_DIR=/proc/sys/fs/binfmt_misc
QEMU_I386_ENTRY=qemu-i386
# Debian's qemu-user-static (which registers no i386 emulation on an x86_64 system itself):
# the emulator, and what binfmt_misc hands it, an i386 ELF executable or shared object by its
# header (class 32-bit, little-endian, version 1, type 2 or 3, machine 3).
QEMU_I386=/usr/bin/qemu-i386-static
I386_ELF_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_ELF_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
WINE32_START_SECONDS=${WINE32_START_SECONDS:-180}

host_runs_i386() {
  [ -e "$I386_LOADER" ] || return 0
  local answer
  answer=$("$I386_LOADER" --version 2>&1 >/dev/null)
  case $? in
    126) case $answer in *"Exec format error"*|*"cannot execute binary file"*) return 1 ;; esac ;;
  esac
  return 0
}

i386_through_qemu() {
  [ -f "$BINFMT_DIR/$QEMU_I386_ENTRY" ] && head -1 "$BINFMT_DIR/$QEMU_I386_ENTRY" | grep -qx enabled
}

register_i386_emulation() {
  [ "$(id -u)" -eq 0 ] || { echo "register_i386_emulation: run as root" >&2; return 1; }
  i386_through_qemu && return 0
  host_runs_i386 && return 0   # the kernel runs them itself
  [ -x "$QEMU_I386" ] || { echo "register_i386_emulation: $QEMU_I386 missing (qemu-user-static)" >&2; return 1; }
  if [ ! -e "$BINFMT_DIR/register" ]; then
    mount -t binfmt_misc binfmt_misc "$BINFMT_DIR" || return 1
  fi
  # Flag F opens the emulator now, so it serves every mount namespace and chroot; the
  # kernel reads the \x escapes itself.
  printf ':%s:M::%s:%s:%s:F\n' "$QEMU_I386_ENTRY" "$I386_ELF_MAGIC" "$I386_ELF_MASK" "$QEMU_I386" \
    >"$BINFMT_DIR/register" || return 1
  host_runs_i386
}

# wine32_starts PROGRAM [ARGS...]: runs the i686 PROGRAM under the 32-bit Wine (through
# scripts/wine-run.sh, with the caller's WINEPREFIX) and checks that it ends in time with
# status 0. Through the emulation the loader answers but Wine hangs or dies on start-up.
wine32_starts() {
  local here
  here=$(dirname "${BASH_SOURCE[0]}")
  KVO_WINE_ARCH=win32 timeout -k 10 "$WINE32_START_SECONDS" bash "$here/wine-run.sh" "$@" >/dev/null 2>&1
}
