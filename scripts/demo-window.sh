#!/usr/bin/env bash
# Shows update.exe itself at work: a small sample game published in two versions, served by
# a local vsftpd with the probe responder beside it, and a v1 installation brought to v2 by
# update.exe under the 32-bit Wine on a private Xvfb. Screenshots of the window are taken
# during the download and after the run ends; the pack is then verified and compared member
# by member with v2.
#
#   scripts/demo-window.sh PAKTOOL WINBIN SHOTDIR SCRATCHDIR [SUMMARYFILE]
#
# PAKTOOL is the host paktool, WINBIN the directory with the i686 update.exe, updatecfg.dll
# and updatecfg.ini. The screenshots go to SHOTDIR; SUMMARYFILE (optional) receives a few
# lines for the caller's closing summary. Everything started here is stopped on exit.
# Exit code 0 when the installation reached v2 and every check passed.
set -uo pipefail

PAKTOOL=${1:?usage: demo-window.sh PAKTOOL WINBIN SHOTDIR SCRATCHDIR [SUMMARYFILE]}
WINBIN=${2:?usage: demo-window.sh PAKTOOL WINBIN SHOTDIR SCRATCHDIR [SUMMARYFILE]}
SHOTDIR=${3:?usage: demo-window.sh PAKTOOL WINBIN SHOTDIR SCRATCHDIR [SUMMARYFILE]}
WORK=${4:?usage: demo-window.sh PAKTOOL WINBIN SHOTDIR SCRATCHDIR [SUMMARYFILE]}
SUMMARY=${5:-/dev/null}

PYTHON=/usr/bin/python3
CONVERT=/usr/bin/convert
WINE_LIB_DIR=/usr/lib/wine
PROBE_PORT=10874
PASV_PORT_COUNT=20
XVFB_SCREEN=1024x768x24
# v2's new map: incompressible, and served at a limited rate, so the download lasts a few
# seconds and the window can be seen while it runs.
NEW_MAP_BYTES=$((6 * 1024 * 1024))
FTP_RATE_BYTES=$((1024 * 1024))
# How long after the download starts the first screenshot is taken.
DOWNLOAD_SHOT_DELAY=2.5
RUN_LIMIT_SECONDS=150
WINDOW_LIMIT_SECONDS=60
# A desktop colour found nowhere in the skin: it becomes transparent in the screenshots,
# so the window's shaped outline shows.
DESKTOP_COLOUR='#01fe03'

MAIN_TITLE="更新工具"
TEXT_DOWNLOADING="开始下载更新数据"
TEXT_DONE="更新完毕，请点击开始游戏按扭，启动游戏"

failures=0
VSFTPD_PID=
RESPONDER_PID=
XVFB_PID=
UPDATE_PID=
PREFIX_DIR=
WINESERVER=

say() { printf '%s\n' "$*"; }
quiet() { "$@" >/dev/null 2>&1; }
note_summary() { printf '%s\n' "$*" >>"$SUMMARY"; }
now() { date +%s.%N; }
# Seconds from START to now, one decimal.
since() { LC_ALL=C awk -v s="$1" -v e="$(now)" 'BEGIN { printf "%.1f", e - s }'; }

check() {
  local what=$1
  shift
  if "$@"; then
    say "   ok   $what"
  else
    say "   FAIL $what"
    failures=$((failures + 1))
  fi
}

cleanup() {
  if [ -n "$PREFIX_DIR" ] && [ -n "$WINESERVER" ]; then
    WINEPREFIX=$PREFIX_DIR/prefix "$WINESERVER" -k >/dev/null 2>&1
    WINEPREFIX=$PREFIX_DIR/prefix timeout 20 "$WINESERVER" -w >/dev/null 2>&1
  fi
  local pid
  for pid in "$UPDATE_PID" "$VSFTPD_PID" "$RESPONDER_PID" "$XVFB_PID"; do
    [ -n "$pid" ] || continue
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  [ -n "$PREFIX_DIR" ] && rm -rf "$PREFIX_DIR"
  [ -d "$WORK/tree" ] && chmod -R u+w "$WORK/tree"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

find_tool() {
  if command -v "$1" >/dev/null 2>&1; then
    command -v "$1"
  elif [ -x "$WINE_LIB_DIR/$1" ]; then
    echo "$WINE_LIB_DIR/$1"
  else
    return 1
  fi
}

free_port() {
  "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds.
wait_for() {
  local tenths=$(($1 * 10))
  shift
  while [ "$tenths" -gt 0 ]; do
    "$@" && return 0
    sleep 0.1
    tenths=$((tenths - 1))
  done
  return 1
}

port_open() {
  "$PYTHON" -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$1" \
    2>/dev/null
}

# The tool's log is GBK; TEXT is given in UTF-8.
log_has() { grep -qF -- "$(printf '%s' "$1" | iconv -f UTF-8 -t GBK)" "$INSTALL/update_debug.txt" 2>/dev/null; }

# ---- the sample game in two versions --------------------------------------------------------

write_items() {
  local version=$1 i
  for ((i = 0; i < 300; i++)); do
    printf 'item%04d\tsword_%d\tlevel=%d\tprice=%d\r\n' "$i" $((i * 7 % 113)) $((i % 60 + 1)) \
      $(((i * i + version * 17) % 9973))
  done
}

make_game() {
  local v1=$WORK/game-v1 v2=$WORK/game-v2
  mkdir -p "$v1/data" "$v2/data/maps"
  write_items 1 >"$v1/data/items.txt"
  head -c 200000 /dev/zero | tr '\0' 'm' >"$v1/data/music.bin"
  printf 'version 1\r\n' >"$v1/readme.txt"
  printf 'readme.txt\r\n' >"$v1/.unpack"
  write_items 2 >"$v2/data/items.txt"
  cp "$v1/data/music.bin" "$v2/data/music.bin"
  head -c "$NEW_MAP_BYTES" /dev/urandom >"$v2/data/maps/newland.map"
  printf 'version 2\r\n' >"$v2/readme.txt"
  cp "$v1/.unpack" "$v2/.unpack"
}

# The files of GAMEDIR by relative name (the control file .unpack left out).
game_files() { (cd "$1" && find . -type f ! -name .unpack | sed 's|^\./||' | sort); }

is_loose() { grep -qxF -- "$1" <(tr -d '\r' <"$WORK/game-v2/.unpack"); }

# ---- servers ---------------------------------------------------------------------------

start_ftp() {
  FTP_PORT=$(free_port)
  local pasv_min
  pasv_min=$(free_port)
  mkdir -p "$WORK/empty"
  # Anonymous, read-only, in the foreground, on loopback; passive mode only.
  cat >"$WORK/vsftpd.conf" <<EOF
listen=YES
listen_address=127.0.0.1
listen_port=$FTP_PORT
anonymous_enable=YES
anon_root=$WORK/tree
no_anon_password=YES
local_enable=NO
write_enable=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$pasv_min
pasv_max_port=$((pasv_min + PASV_PORT_COUNT))
seccomp_sandbox=NO
secure_chroot_dir=$WORK/empty
background=NO
run_as_launching_user=YES
xferlog_enable=NO
anon_max_rate=$FTP_RATE_BYTES
EOF
  /usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.out" 2>&1 &
  VSFTPD_PID=$!
  if ! wait_for 10 port_open "$FTP_PORT"; then
    say "   vsftpd did not start: $(head -n 1 "$WORK/vsftpd.out")"
    return 1
  fi
  say "   vsftpd on 127.0.0.1:$FTP_PORT serving $WORK/tree at $((FTP_RATE_BYTES / 1024)) KiB/s"
}

start_responder() {
  "$PAKTOOL" probe-responder --bind 127.0.0.1 --port "$PROBE_PORT" >"$WORK/responder.out" 2>&1 &
  RESPONDER_PID=$!
  sleep 0.3
  if kill -0 "$RESPONDER_PID" 2>/dev/null; then
    say "   paktool probe-responder on 127.0.0.1:$PROBE_PORT (UDP)"
  else
    # Another program holds the port: the tool still picks the server, with no answer.
    say "   probe responder not started ($(head -n 1 "$WORK/responder.out")); the tool will choose without an answer"
    RESPONDER_PID=
  fi
}

# ---- display and Wine -------------------------------------------------------------------

start_xvfb() {
  local display_file=$WORK/display
  Xvfb -displayfd 3 -screen 0 "$XVFB_SCREEN" -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  wait_for 10 test -s "$display_file" || { say "   Xvfb did not start"; return 1; }
  export DISPLAY=:$(tr -dc '0-9' <"$display_file")
  say "   Xvfb on display $DISPLAY"
}

prepare_wine() {
  local wine_name=wine
  [ "${DEMO_ARCH:-win32}" = win64 ] && wine_name=wine64
  WINE=$(find_tool "$wine_name") || { say "   $wine_name not found (run scripts/setup.sh)"; return 1; }
  WINESERVER=$(find_tool wineserver) || { say "   wineserver not found"; return 1; }
  PREFIX_DIR=$(mktemp -d /tmp/kvo-demo-prefix.XXXXXX)
  export WINEPREFIX=$PREFIX_DIR/prefix
  export WINEARCH=${DEMO_ARCH:-win32}
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install prompt
  export LC_ALL=zh_CN.UTF-8                  # Chinese (PRC) system: code page 936
  export LANG=$LC_ALL
  local started
  started=$(now)
  "$WINE" wineboot --init >/dev/null 2>&1
  "$WINESERVER" -w
  [ -f "$WINEPREFIX/system.reg" ] || { say "   the Wine prefix could not be made"; return 1; }
  # A server that stays up until it is stopped at the end.
  "$WINESERVER" -p >/dev/null 2>&1
  PREFIX_SECONDS=$(since "$started")
  say "   $WINEARCH Wine prefix made in ${PREFIX_SECONDS}s"
}

# ---- screenshots ---------------------------------------------------------------------------

# Geometry "W H X Y" of the tool's window: the window titled like the main window, else the
# largest visible top-level window on the display (the only program shown there is ours).
window_geometry() {
  local screen id best= best_area=0 WIDTH HEIGHT X Y WINDOW SCREEN
  screen=$(xdotool getdisplaygeometry)
  for id in $(xdotool search --onlyvisible --maxdepth 1 --name '' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
    [ "$WIDTH $HEIGHT" = "$screen" ] && continue   # the root window itself
    if xdotool getwindowname "$id" 2>/dev/null | grep -q "^$MAIN_TITLE"; then
      best="$WIDTH $HEIGHT $X $Y"
      break
    fi
    if [ $((WIDTH * HEIGHT)) -gt "$best_area" ]; then
      best_area=$((WIDTH * HEIGHT))
      best="$WIDTH $HEIGHT $X $Y"
    fi
  done
  [ -n "$best" ] && echo "$best"
}

# shoot FILE: the window's rectangle of the screen, the desktop around its outline clear.
shoot() {
  local file=$1 geometry w h x y
  geometry=$(window_geometry) || { say "   no window to photograph"; return 1; }
  read -r w h x y <<<"$geometry"
  # Wine's desktop process paints the root window when it starts: colour it again.
  command -v xsetroot >/dev/null 2>&1 && xsetroot -solid "$DESKTOP_COLOUR"
  import -display "$DISPLAY" -window root "$WORK/screen.png" 2>/dev/null || return 1
  "$CONVERT" "$WORK/screen.png" -crop "${w}x${h}+${x}+${y}" +repage \
    -transparent "$DESKTOP_COLOUR" "$file" || return 1
  say "   screenshot ${w}x${h}: $file"
}

# ---- the run -------------------------------------------------------------------------------

# A v1 installation whose plug-in settings name the local server.
make_install() {
  INSTALL=$WORK/install
  mkdir -p "$INSTALL"
  cp "$WINBIN/update.exe" "$WINBIN/updatecfg.dll" "$WINBIN/updatecfg.ini" "$INSTALL/"
  "$PAKTOOL" publish "$WORK/game-v1" "$WORK/server-v1" >/dev/null || return 1
  "$PAKTOOL" sync "$WORK/server-v1" "$INSTALL" --yes >/dev/null || return 1
  sed -i -e "s|^ftp address = .*|ftp address = 127.0.0.1|" -e "s|^ftp port = .*|ftp port = $FTP_PORT|" \
      -e "s|^ftp directory = .*|ftp directory = download/|" \
      -e "s|^file version = .*|file version = download/version.txt|" \
      -e "s|^file update = .*|file update = download/update.exe|" "$INSTALL/updatecfg.ini"
}

member_matches() {
  local name=$1 want=$WORK/game-v2/$1
  if is_loose "$name"; then
    cmp -s "$INSTALL/$name" "$want"
  else
    "$PAKTOOL" extract "$INSTALL/patch.dat" "$name" "$WORK/member.out" >/dev/null 2>&1 &&
      cmp -s "$WORK/member.out" "$want"
  fi
}

changed_files() {
  local name
  while read -r name; do
    if [ ! -f "$WORK/game-v1/$name" ]; then
      printf '%s (new, %s bytes)\n' "$name" "$(stat -c %s "$WORK/game-v2/$name")"
    elif ! cmp -s "$WORK/game-v1/$name" "$WORK/game-v2/$name"; then
      printf '%s (changed, %s bytes)\n' "$name" "$(stat -c %s "$WORK/game-v2/$name")"
    fi
  done < <(game_files "$WORK/game-v2")
}

run_update() {
  local started
  say "   wine update.exe   (in $INSTALL)"
  started=$(now)
  (cd "$INSTALL" && exec "$WINE" "$INSTALL/update.exe") >/dev/null 2>&1 &
  UPDATE_PID=$!

  if wait_for "$WINDOW_LIMIT_SECONDS" log_has "$TEXT_DOWNLOADING"; then
    DOWNLOAD_AT=$(since "$started")
    say "   download started after ${DOWNLOAD_AT}s"
    sleep "$DOWNLOAD_SHOT_DELAY"
    check "screenshot during the download" shoot "$SHOTDIR/window-downloading.png"
    log_has "$TEXT_DONE" && say "   (the run had already ended when it was taken)"
  else
    say "   the download did not start within ${WINDOW_LIMIT_SECONDS}s"
    failures=$((failures + 1))
  fi

  if wait_for "$RUN_LIMIT_SECONDS" log_has "$TEXT_DONE"; then
    RUN_SECONDS=$(since "$started")
    say "   update_debug.txt: $TEXT_DONE   (after ${RUN_SECONDS}s)"
    sleep 1   # the window paints the result text
    check "screenshot after the run" shoot "$SHOTDIR/window-done.png"
  else
    RUN_SECONDS=-
    say "   the run did not end with the done text within ${RUN_LIMIT_SECONDS}s; the log ends:"
    iconv -f GBK -t UTF-8 -c "$INSTALL/update_debug.txt" 2>/dev/null | tail -n 5 | sed 's/^/     | /'
    failures=$((failures + 1))
  fi
}

stop_everything() {
  "$WINESERVER" -k >/dev/null 2>&1
  timeout 20 "$WINESERVER" -w >/dev/null 2>&1
  wait "$UPDATE_PID" 2>/dev/null
  UPDATE_PID=
}

check_result() {
  local name
  check "patch.dat verifies (paktool verify)" quiet "$PAKTOOL" verify "$INSTALL/patch.dat"
  while read -r name; do
    check "$name is v2's" member_matches "$name"
  done < <(game_files "$WORK/game-v2")
}

main() {
  local total_started
  total_started=$(now)
  rm -rf "$WORK"
  mkdir -p "$WORK" "$SHOTDIR" || return 1
  rm -f "$SHOTDIR/window-downloading.png" "$SHOTDIR/window-done.png"

  say "== the sample game, published in two versions"
  make_game
  "$PAKTOOL" publish "$WORK/game-v2" "$WORK/tree" --plugin-version 10000 | sed 's/^/   v2: /'
  chmod -R a-w "$WORK/tree"
  say "   v1 -> v2 changes:"
  changed_files | sed 's/^/     /'

  say "== servers"
  start_ftp || return 1
  start_responder

  say "== a v1 installation"
  make_install || { say "   could not make the v1 installation"; return 1; }
  say "   $INSTALL: update.exe, updatecfg.dll, updatecfg.ini (ftp port $FTP_PORT), patch.dat at v1"

  say "== update.exe under Wine"
  start_xvfb || return 1
  prepare_wine || return 1
  run_update
  stop_everything
  say "   Wine and the servers stopped"

  say "== the installation afterwards"
  check_result

  note_summary "update.exe brought a v1 installation to v2 (${WINEARCH} Wine, local vsftpd):"
  changed_files | sed 's/^/  /' >>"$SUMMARY"
  note_summary "timings: Wine prefix ${PREFIX_SECONDS:-?}s, update.exe start to done ${RUN_SECONDS:-?}s," \
    "this part in total $(since "$total_started")s"
  note_summary "screenshots: $SHOTDIR/window-downloading.png"
  note_summary "             $SHOTDIR/window-done.png"
  return 0
}

main || failures=$((failures + 1))
say "== window demo: $failures failure(s)"
[ "$failures" -eq 0 ]
