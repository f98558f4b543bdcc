#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...]
# Runs a Windows program headless under Wine and passes its exit code through.
#   - KVO_WINE_ARCH=win64 (default): wine64 in a 64-bit prefix (x86_64 programs, and i686
#     ones through WoW64). KVO_WINE_ARCH=win32: the 32-bit wine in a 32-bit prefix
#     (WINEARCH=win32), as on the players' 32-bit Windows; i686 programs only. A prefix
#     belongs to one architecture: a caller's prefix of the other one is refused.
#   - DISPLAY unset: a private Xvfb on a free display, stopped afterwards.
#   - WINEPREFIX unset: a throw-away prefix, removed afterwards; a caller's prefix is created
#     on first use and kept (scripts/test.sh makes one per run).
#   - Chinese (PRC) system: LC_ALL=zh_CN.UTF-8, so the default language is 0x0804 and the
#     ANSI code page 936. KVO_WINE_LOCALE names another (C.UTF-8: English, code page 1252).
#   - No Mono/Gecko install prompt, no debug chatter.
# When this script starts the prefix's server, it waits for the processes the program left
# running (at most WINE_RUN_DRAIN_SECONDS, default 60; 0: no wait) and stops what is left.
# A server that is already running (another caller's programs) is left alone.
set -uo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
  exit 2
fi

WINE_LIB_DIR=/usr/lib/wine
DRAIN_SECONDS=${WINE_RUN_DRAIN_SECONDS:-60}
XVFB_START_SECONDS=10
XVFB_SCREEN=1024x768x24

find_tool() {
  local name=$1
  if command -v "$name" >/dev/null 2>&1; then
    command -v "$name"
  elif [ -x "$WINE_LIB_DIR/$name" ]; then
    echo "$WINE_LIB_DIR/$name"
  else
    echo "wine-run: $name not found (run scripts/setup.sh)" >&2
    exit 2
  fi
}
WINE_ARCH=${KVO_WINE_ARCH:-win64}
case $WINE_ARCH in
  win64) WINE=$(find_tool wine64) || exit 2 ;;
  win32) WINE=$(find_tool wine) || exit 2 ;;
  *) echo "wine-run: KVO_WINE_ARCH must be win32 or win64, not $WINE_ARCH" >&2; exit 2 ;;
esac
export WINEARCH=$WINE_ARCH
# shellcheck source=host_i386.sh
source "$(dirname "${BASH_SOURCE[0]}")/host_i386.sh"
if [ "$WINE_ARCH" = win32 ] && ! host_runs_i386; then
  echo "wine-run: this machine's kernel does not run 32-bit programs (Exec format error):" \
       "the 32-bit Wine cannot start here; test the x86_64 build with KVO_WINE_ARCH=win64" >&2
  exit 3
fi
WINESERVER=$(find_tool wineserver) || exit 2

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=${KVO_WINE_LOCALE:-zh_CN.UTF-8}
export LANG=$LC_ALL

XVFB_PID=
OWN_PREFIX=
XVFB_DISPLAY_FILE=

cleanup() {
  if [ -n "$OWN_PREFIX" ]; then
    "$WINESERVER" -k >/dev/null 2>&1
    "$WINESERVER" -w >/dev/null 2>&1
    rm -rf "$OWN_PREFIX"
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
  fi
  [ -n "$XVFB_DISPLAY_FILE" ] && rm -f "$XVFB_DISPLAY_FILE"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and writes its number to the given descriptor.
start_xvfb() {
  XVFB_DISPLAY_FILE=$(mktemp /tmp/wine-run-display.XXXXXX)
  Xvfb -displayfd 3 -screen 0 "$XVFB_SCREEN" -nolisten tcp 3>"$XVFB_DISPLAY_FILE" \
    >/dev/null 2>&1 &
  XVFB_PID=$!
  local tenths=$((XVFB_START_SECONDS * 10)) display
  while [ "$tenths" -gt 0 ]; do
    display=$(tr -dc '0-9' < "$XVFB_DISPLAY_FILE")
    if [ -n "$display" ]; then
      export DISPLAY=:$display
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
    tenths=$((tenths - 1))
  done
  echo "wine-run: Xvfb did not start" >&2
  return 1
}

# Creates the prefix on first use; concurrent callers of one prefix wait for each other.
prepare_prefix() {
  mkdir -p "$WINEPREFIX" || return 1
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$WINE" wineboot --init >/dev/null 2>&1
      "$WINESERVER" -w
    fi
  ) 9>"$WINEPREFIX.lock"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-run: could not create $WINEPREFIX" >&2; return 1; }
  # system.reg names the prefix's architecture ("#arch=win32" or "#arch=win64").
  if ! grep -q "^#arch=$WINE_ARCH\$" "$WINEPREFIX/system.reg"; then
    echo "wine-run: $WINEPREFIX is not a $WINE_ARCH prefix (use one prefix per architecture)" >&2
    return 1
  fi
}

# Waits (bounded) for every process of the prefix to end, then stops the server.
drain_prefix() {
  timeout "$DRAIN_SECONDS" "$WINESERVER" -w >/dev/null 2>&1 || {
    echo "wine-run: processes still running after ${DRAIN_SECONDS}s; stopping them" >&2
    "$WINESERVER" -k >/dev/null 2>&1
  }
}

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb || exit 2
fi
if [ -z "${WINEPREFIX:-}" ]; then
  OWN_PREFIX=$(mktemp -d /tmp/wine-run-prefix.XXXXXX)
  export WINEPREFIX=$OWN_PREFIX/prefix
fi
export WINEPREFIX
prepare_prefix || exit 2

# A server that ends as soon as the last program does, so draining costs no idle delay.
OWN_SERVER=
"$WINESERVER" -p0 >/dev/null 2>&1 && OWN_SERVER=1

"$WINE" "$@"
status=$?
if [ -n "$OWN_SERVER" ] && [ "$DRAIN_SECONDS" -gt 0 ]; then
  drain_prefix
fi
exit "$status"
