# Shared set-up of the end-to-end tests of update.exe under Wine (sourced, not run).
#
# BUILD_WIN (default: BUILD_WIN64, the older name, else build/win64/bin) holds update.exe,
# updatecfg.dll with its sample updatecfg.ini, and the test helpers. KVO_WINE_ARCH picks the
# Wine: win64 (default: wine64, 64-bit prefix) or win32 (the 32-bit wine in a 32-bit prefix,
# for the i686 release in build/win32/bin). KVO_WINE_LOCALE sets the system language
# (default zh_CN.UTF-8). Every program runs in one display and one Wine prefix per test
# script, so boxwatch sees update.exe's windows. scripts/wine-run.sh creates the prefix; the
# programs themselves run with wine directly under the same settings, because wine-run.sh
# waits for (and then stops) every program of the prefix when its own ends, and these tests
# keep several running side by side.
set -uo pipefail

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_WIN=${BUILD_WIN:-${BUILD_WIN64:-$E2E_ROOT/build/win64/bin}}
BUILD_WIN64=$BUILD_WIN
export KVO_WINE_ARCH=${KVO_WINE_ARCH:-win64}
export KVO_WINE_LOCALE=${KVO_WINE_LOCALE:-zh_CN.UTF-8}
WINE_RUN=$E2E_ROOT/scripts/wine-run.sh
E2E_FAILURES=0
E2E_PIDS=()

for needed in update.exe updatecfg.dll updatecfg.ini boxwatch.exe; do
  if [ ! -f "$BUILD_WIN/$needed" ]; then
    echo "e2e: $BUILD_WIN/$needed missing (scripts/build.sh ${KVO_WINE_ARCH})" >&2
    exit 1
  fi
done

E2E_WORK=$(mktemp -d /tmp/kvo-e2e.XXXXXX)
XVFB_PID=
OWN_PREFIX=

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$E2E_WORK"
  [ -n "$OWN_PREFIX" ] && rm -rf "$OWN_PREFIX"
}
trap e2e_cleanup EXIT

# One display for every program of this script (wine-run.sh starts none when DISPLAY is set).
if [ -z "${DISPLAY:-}" ]; then
  display_file=$E2E_WORK/display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  export DISPLAY=:$(tr -dc '0-9' < "$display_file")
fi
if [ -z "${WINEPREFIX:-}" ]; then
  OWN_PREFIX=$(mktemp -d /tmp/kvo-e2e-prefix.XXXXXX)
  export WINEPREFIX=$OWN_PREFIX/prefix
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=$KVO_WINE_LOCALE
export LANG=$KVO_WINE_LOCALE
export WINEARCH=$KVO_WINE_ARCH
if [ "$KVO_WINE_ARCH" = win32 ]; then
  WINE=$(command -v wine || echo /usr/lib/wine/wine)
else
  WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
fi
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
"$WINE_RUN" cmd /c exit >/dev/null 2>&1 || { echo "e2e: no Wine prefix" >&2; exit 1; }
# A server that stays up between the programs of a case.
"$WINESERVER" -p >/dev/null 2>&1

# The Windows spelling of a Unix path (drive Z: is the Unix root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# A scratch installation: update.exe and the plug-in with its settings.
# Prints its directory.
new_install() {
  local dir
  dir=$(mktemp -d "$E2E_WORK/install.XXXXXX")
  cp "$BUILD_WIN/update.exe" "$BUILD_WIN/updatecfg.dll" "$BUILD_WIN/updatecfg.ini" "$dir/"
  echo "$dir"
}

# Starts a program of the installation in the background: run_bg DIR PROGRAM ARGS...
# The PID of its wine-run.sh is in E2E_LAST_PID.
run_bg() {
  local dir=$1 program=$2
  shift 2
  (cd "$dir" && exec "$WINE" "$dir/$program" "$@") >/dev/null 2>&1 &
  E2E_LAST_PID=$!
  E2E_PIDS+=("$E2E_LAST_PID")
}

# Runs boxwatch with the steps given; its observations are appended to LOG.
watch() {
  local log=$1
  shift
  timeout 120 "$WINE" "$BUILD_WIN/boxwatch.exe" "$(winpath "$log")" "$@" >/dev/null 2>&1
}

# Waits up to SECONDS for PID to end; false when it is still running.
wait_pid() {
  local pid=$1 seconds=$2
  for _ in $(seq $((seconds * 10))); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Ends every program of the prefix (between cases).
stop_all() {
  "$WINESERVER" -k >/dev/null 2>&1
  "$WINESERVER" -p >/dev/null 2>&1
  local pid
  for pid in "${E2E_PIDS[@]}"; do wait_pid "$pid" 10 || kill "$pid" 2>/dev/null; done
  E2E_PIDS=()
}

check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok   - $what"
  else
    echo "FAIL - $what"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

has_line() { grep -qxF -- "$2" "$1"; }
lacks_line_starting() { ! grep -q -- "^$2" "$1"; }

finish() {
  if [ "$E2E_FAILURES" -eq 0 ]; then
    echo "$(basename "$0"): all checks passed"
    exit 0
  fi
  echo "$(basename "$0"): $E2E_FAILURES check(s) failed"
  exit 1
}
