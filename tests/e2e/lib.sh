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
BUILD_HOST=${BUILD_HOST:-$E2E_ROOT/build/host/bin}
PAKTOOL=$BUILD_HOST/paktool
PYTHON=/usr/bin/python3
E2E_FAILURES=0
E2E_PIDS=()
E2E_SERVER_PIDS=()

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
  for pid in "${E2E_PIDS[@]}" "${E2E_SERVER_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  "$WINESERVER" -k >/dev/null 2>&1
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  rm -rf "$E2E_WORK"
  [ -n "$OWN_PREFIX" ] && rm -rf "$OWN_PREFIX"
}
trap e2e_cleanup EXIT

# One display for every program of this script (wine-run.sh starts none when DISPLAY is set);
# E2E_XVFB_OPTIONS adds options to the Xvfb started here.
if [ -z "${DISPLAY:-}" ]; then
  display_file=$E2E_WORK/display
  # shellcheck disable=SC2086  # E2E_XVFB_OPTIONS: further options, word by word
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp ${E2E_XVFB_OPTIONS:-} 3>"$display_file" >/dev/null 2>&1 &
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

# ---- Texts and files of an installation ----

# GBK spelling of a UTF-8 text, as the tool writes it into update_debug.txt.
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }

# log_has DIR TEXT SECONDS: waits until the installation's debug log holds TEXT.
log_has() {
  local pattern
  pattern=$(gbk "$2")
  for _ in $(seq $(($3 * 10))); do
    grep -qF -- "$pattern" "$1/update_debug.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# log_lacks DIR TEXT: the installation's debug log does not hold TEXT (now).
log_lacks() { ! grep -qF -- "$(gbk "$2")" "$1/update_debug.txt" 2>/dev/null; }

# log_lines DIR TEXT: how many lines of the debug log hold TEXT.
log_lines() { grep -cF -- "$(gbk "$2")" "$1/update_debug.txt" 2>/dev/null; }

quiet() { "$@" >/dev/null 2>&1; }

# listing DIR: a checksum of every file of an installation, by name, without the debug log
# and the copies of the tool and the plug-in the launcher keeps (update.dat, updatecfg.dat).
listing() {
  (cd "$1" && find . -type f ! -name update_debug.txt ! -name update.dat ! -name updatecfg.dat -print0 |
    sort -z | xargs -0 sha256sum)
}

# unchanged DIR BEFORE: the installation's listing is BEFORE's, byte for byte.
unchanged() {
  listing "$1" >"$E2E_WORK/after.txt"
  cmp -s "$2" "$E2E_WORK/after.txt" || { diff "$2" "$E2E_WORK/after.txt" | head -20 >&2; return 1; }
}
# two_game_versions NEW_BYTES: the game in two versions below $E2E_WORK: game-v1 holds
# data/a.txt and a 70,000-byte data/b.bin; game-v2 changes a.txt and adds data/new/c.bin of
# NEW_BYTES random bytes.
two_game_versions() {
  local new_bytes=$1
  mkdir -p "$E2E_WORK/game-v1/data" "$E2E_WORK/game-v2/data/new"
  printf 'alpha v1' >"$E2E_WORK/game-v1/data/a.txt"
  head -c 70000 /dev/urandom >"$E2E_WORK/game-v1/data/b.bin"
  cp -r "$E2E_WORK/game-v1/." "$E2E_WORK/game-v2/"
  printf 'alpha v2' >"$E2E_WORK/game-v2/data/a.txt"
  head -c "$new_bytes" /dev/urandom >"$E2E_WORK/game-v2/data/new/c.bin"
}

has_text() { grep -qF -- "$2" "$1"; }
same_file() { cmp -s "$1" "$2"; }

# member_is PACK NAME EXPECTED-FILE
member_is() { "$PAKTOOL" extract "$1" "$2" "$E2E_WORK/member.out" >/dev/null 2>&1 && cmp -s "$E2E_WORK/member.out" "$3"; }

# member_text_is PACK NAME TEXT
member_text_is() {
  "$PAKTOOL" extract "$1" "$2" "$E2E_WORK/member.out" >/dev/null 2>&1 && [ "$(cat "$E2E_WORK/member.out")" = "$3" ]
}

# tool_build_of_version SRC OUT VERSION MARKER: a copy of the program SRC whose version
# resource says VERSION (224 is 2.24) and that ends in MARKER (so builds can be told apart;
# it still runs). paktool publish refuses to announce a tool above the version it carries.
tool_build_of_version() {
  "$PYTHON" - "$1" "$2" "$3" "$4" <<'PYEOF'
import struct, sys
src, out, version, marker = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
data = bytearray(open(src, "rb").read())
key = "VS_VERSION_INFO\0".encode("utf-16-le")
at = data.find(key)
info = (at + len(key) + 3) // 4 * 4
assert at >= 0 and data[info:info + 4] == b"\xbd\x04\xef\xfe", "no version resource in " + src
ms = struct.pack("<HH", version % 100, version // 100)
data[info + 8:info + 12] = ms    # file version
data[info + 16:info + 20] = ms   # product version
open(out, "wb").write(bytes(data) + marker.encode())
PYEOF
}

# ---- Update servers ----

need_paktool() {
  [ -x "$PAKTOOL" ] || { echo "e2e: $PAKTOOL missing (scripts/build.sh host)" >&2; exit 1; }
}

# port_answers PORT: true once something accepts connections on 127.0.0.1:PORT (10 s at most).
port_answers() {
  for _ in $(seq 100); do
    "$PYTHON" -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' \
      "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

free_port() {
  "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_ftp_server TREE [BYTES_PER_SECOND]: vsftpd on loopback serving TREE (made read-only),
# each transfer limited to the rate when one is given. Sets FTP_PORT.
start_ftp_server() {
  local tree=$1 rate=${2:-0} conf pasv_min
  chmod -R a-w "$tree"
  FTP_PORT=$(free_port)
  pasv_min=$(free_port)
  conf=$(mktemp "$E2E_WORK/vsftpd.XXXXXX")
  mkdir -p "$E2E_WORK/empty"
  sed -e "s|@ROOT@|$tree|" -e "s|@PORT@|$FTP_PORT|" -e "s|@PASV_MIN@|$pasv_min|" \
      -e "s|@PASV_MAX@|$((pasv_min + 20))|" -e "s|@EMPTY@|$E2E_WORK/empty|" \
      "$E2E_ROOT/tests/e2e/ftp_servers/vsftpd.conf.in" >"$conf"
  echo "anon_max_rate=$rate" >>"$conf"
  /usr/sbin/vsftpd "$conf" >"$conf.out" 2>&1 &
  E2E_SERVER_PIDS+=("$!")
  port_answers "$FTP_PORT" && return 0
  echo "e2e: vsftpd did not start ($(cat "$conf.out"))" >&2
  return 1
}

# point_at_server DIR PORT SERVERDIR: the installation's plug-in settings name the local
# server on PORT and the publication in SERVERDIR (e.g. download/).
point_at_server() {
  local dir=$1 port=$2 serverdir=$3
  sed -i -e "s|^ftp port = .*|ftp port = $port|" -e "s|^ftp directory = .*|ftp directory = $serverdir|" \
      -e "s|^file version = .*|file version = ${serverdir}version.txt|" \
      -e "s|^file update = .*|file update = ${serverdir}update.exe|" "$dir/updatecfg.ini"
}

# synced_install GAMEDIR: a new installation holding GAMEDIR as a publication brings it
# (patch.dat and update.inf written by the engine's own pass). Prints its directory.
synced_install() {
  local dir published
  dir=$(new_install)
  published=$(mktemp -d "$E2E_WORK/published.XXXXXX")
  "$PAKTOOL" publish "$1" "$published" >/dev/null
  "$PAKTOOL" sync "$published" "$dir" --yes >/dev/null
  echo "$dir"
}

# The plug-in version that the sample updatecfg.ini (and the recording plug-in) announce: a
# publication for them names it, or the tool fetches a plug-in.
PLUGIN_VERSION=10000

# serve_up_to_date DIR GAMEDIR [PLUGIN_VERSION]: publishes GAMEDIR, serves it and points the
# installation DIR (already holding GAMEDIR) at it, so a run of the tool finds it up to date.
serve_up_to_date() {
  local tree
  tree=$(mktemp -d "$E2E_WORK/tree.XXXXXX")
  "$PAKTOOL" publish "$2" "$tree" --plugin-version "${3:-$PLUGIN_VERSION}" >/dev/null
  start_ftp_server "$tree" || return 1
  point_at_server "$1" "$FTP_PORT" download/
}

# ---- The updater's window, used through the X display like a person ----

# Client points of the painted buttons: the centres of their hit rectangles.
declare -A BUTTON_POINT=([close]="768 122" [minimise]="735 122" [website]="304 529" [offline]="454 529"
                         [edition]="606 529" [start]="740 537")
UPDATER_TITLE_PATTERN='^更新工具[0-9]'

# wait_updater_window SECONDS: waits for the updater's window; sets UPDATER_WID and the screen
# position of its client area, UPDATER_X and UPDATER_Y (the window is borderless).
wait_updater_window() {
  local wid geometry
  for _ in $(seq $(($1 * 10))); do
    wid=$(xdotool search --onlyvisible --name "$UPDATER_TITLE_PATTERN" 2>/dev/null | head -1)
    if [ -n "$wid" ] && geometry=$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null); then
      UPDATER_WID=$wid
      UPDATER_X=$(sed -n 's/^X=//p' <<<"$geometry")
      UPDATER_Y=$(sed -n 's/^Y=//p' <<<"$geometry")
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# updater_window_gone SECONDS: waits until no updater window is shown.
updater_window_gone() {
  for _ in $(seq $(($1 * 10))); do
    [ -z "$(xdotool search --onlyvisible --name "$UPDATER_TITLE_PATTERN" 2>/dev/null)" ] && return 0
    sleep 0.1
  done
  return 1
}

# click_client X Y: a left click at a client point of the updater's window.
click_client() {
  xdotool mousemove --sync $((UPDATER_X + $1)) $((UPDATER_Y + $2)) click 1
}

# click_button NAME: clicks a painted button (close, minimise, website, offline, edition,
# start), then moves the pointer off the window so no button shows its hover image.
click_button() {
  local point=(${BUTTON_POINT[$1]})
  click_client "${point[0]}" "${point[1]}"
  sleep 0.3
  xdotool mousemove --sync 0 0
}

# wait_file_dialog SECONDS: waits for the file-open dialog (titled 打开, or Open on other
# systems); sets FILE_DIALOG.
wait_file_dialog() {
  for _ in $(seq $(($1 * 10))); do
    FILE_DIALOG=$(xdotool search --onlyvisible --name '^(打开|Open)$' 2>/dev/null | head -1)
    [ -n "$FILE_DIALOG" ] && return 0
    sleep 0.1
  done
  return 1
}

# type_into_file_dialog PATH: replaces the file name field's text with PATH and confirms.
type_into_file_dialog() {
  local geometry x y
  geometry=$(xdotool getwindowgeometry --shell "$FILE_DIALOG")
  x=$(sed -n 's/^X=//p' <<<"$geometry")
  y=$(sed -n 's/^Y=//p' <<<"$geometry")
  xdotool mousemove --sync $((x + 20)) $((y + 20))  # the keyboard follows the pointer
  xdotool windowfocus --sync "$FILE_DIALOG" 2>/dev/null
  sleep 0.5
  xdotool key End shift+Home
  xdotool type --delay 30 "$1"
  xdotool key Return
  xdotool mousemove --sync 0 0
}

# press_escape: the Esc key in the updater's window. It is handed to the window's own
# message loop (boxwatch): under Xvfb without a window manager, Wine does not route an X key
# press to the dialog reliably.
press_escape() {
  watch "$E2E_WORK/esc.log" esc
}
