# Sourced. host_runs_i386: whether this machine's kernel runs 32-bit x86 programs. Some
# virtual machines are built without that support; there the 32-bit Wine (and the WoW64 side
# of the 64-bit one) cannot start at all, and the kernel answers "Exec format error".
# Only that answer counts as "no": a missing or broken 32-bit loader is a set-up fault and
# must show as a failure, not be passed over.
I386_LOADER=/lib/ld-linux.so.2

host_runs_i386() {
  [ -e "$I386_LOADER" ] || return 0
  local answer
  answer=$("$I386_LOADER" --version 2>&1 >/dev/null)
  case $? in
    126) case $answer in *"Exec format error"*|*"cannot execute binary file"*) return 1 ;; esac ;;
  esac
  return 0
}
