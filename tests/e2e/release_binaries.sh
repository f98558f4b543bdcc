#!/usr/bin/env bash
# The release's binaries ship without their debug information: update.exe (which every
# self-update downloads), updatecfg.dll and paktool.exe carry no .debug_* section, and each
# names its FILE.debug beside it in .gnu_debuglink with that file's CRC, the file holding
# the debug information for crash analysis. Reads the files only (no Wine).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_WIN=${BUILD_WIN:-$ROOT/build/win64/bin}
case ${KVO_WINE_ARCH:-win64} in
  win32) OBJDUMP=i686-w64-mingw32-objdump; OBJCOPY=i686-w64-mingw32-objcopy ;;
  *) OBJDUMP=x86_64-w64-mingw32-objdump; OBJCOPY=x86_64-w64-mingw32-objcopy ;;
esac
WORK=$(mktemp -d /tmp/kvo-release.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILURES=0

check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok   - $what"
  else
    echo "FAIL - $what"
    FAILURES=$((FAILURES + 1))
  fi
}

sections() { "$OBJDUMP" -h "$1" | awk '$1 ~ /^[0-9]+$/ { print $2 }'; }
no_debug_sections() { ! sections "$1" | grep -q '^\.debug_'; }
has_debug_sections() { sections "$1" | grep -q '^\.debug_info$'; }

# links_debug_file FILE: .gnu_debuglink holds FILE.debug's name and the CRC-32 of its bytes.
links_debug_file() {
  "$OBJCOPY" --dump-section .gnu_debuglink="$WORK/link" "$1" "$WORK/copy" 2>/dev/null || return 1
  /usr/bin/python3 - "$WORK/link" "$1.debug" <<'PYEOF'
import os, struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name = link[:link.index(b"\0")].decode()
crc = struct.unpack("<I", link[-4:])[0]
debug = sys.argv[2]
sys.exit(0 if name == os.path.basename(debug) and crc == zlib.crc32(open(debug, "rb").read()) else 1)
PYEOF
}

for file in update.exe updatecfg.dll paktool.exe; do
  path=$BUILD_WIN/$file
  if [ ! -f "$path" ]; then
    echo "FAIL - $path missing (scripts/build.sh ${KVO_WINE_ARCH:-win64})"
    FAILURES=$((FAILURES + 1))
    continue
  fi
  check "$file carries no debug information" no_debug_sections "$path"
  check "$file.debug holds it" has_debug_sections "$path.debug"
  check "$file names $file.debug and its CRC" links_debug_file "$path"
  echo "     $file: $(stat -c %s "$path") bytes, $file.debug: $(stat -c %s "$path.debug" 2>/dev/null || echo -) bytes"
done

if [ "$FAILURES" -eq 0 ]; then
  echo "$(basename "$0"): all checks passed"
  exit 0
fi
echo "$(basename "$0"): $FAILURES check(s) failed"
exit 1
