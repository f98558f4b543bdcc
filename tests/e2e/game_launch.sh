#!/usr/bin/env bash
# Game launch from the updater's window under Wine: the numbered copy of the game
# executable, a copy that is running, the pack's member against a loose one, the
# downloads' temporary files, a missing game, and the reference plug-in starting the game.
# The start button starts the game only after a run that found the installation up to date,
# so each installation holds a publication that a local server offers.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
need_paktool

BOX_DATA_ERROR='box: 错误|patch.dat数据错误|icon=0'
TEXT_UP_TO_DATE="已经是最新版本，无需更新，请点击开始游戏按扭，启动游戏"

present() { [ -e "$1" ]; }
missing() { [ ! -e "$1" ]; }

# The game without its executable, and with a packed one.
GAME=$E2E_WORK/game
mkdir -p "$GAME/data"
printf 'alpha' >"$GAME/data/a.txt"
PACKED_GAME=$E2E_WORK/packed-game
cp -r "$GAME" "$PACKED_GAME"
cp "$BUILD_WIN/fakegame.exe" "$PACKED_GAME/mainclient.exe"
printf 'packed build' >>"$PACKED_GAME/mainclient.exe"

# up_to_date_install GAMEDIR: an installation holding GAMEDIR, served as up to date, in
# dir (not printed: the server must stay a child of this shell).
up_to_date_install() {
  dir=$(synced_install "$1")
  serve_up_to_date "$dir" "$1" || exit 1
}

# An up-to-date installation in dir with the recording plug-in and the stand-in game as
# mainclient.exe: game_install [GAMEDIR]
game_install() {
  up_to_date_install "${1:-$GAME}"
  cp "$BUILD_WIN/recordcfg.dll" "$dir/updatecfg.dll"
  cp "$BUILD_WIN/fakegame.exe" "$dir/mainclient.exe"
}

# Starts the updater, lets its run find the installation up to date and presses the start
# button: start_game DIR LOG [BOXWATCH STEPS...] (default: box=3 close).
start_game() {
  local dir=$1 log=$2
  shift 2
  run_bg "$dir" update.exe
  wait_updater_window 60 && log_has "$dir" "$TEXT_UP_TO_DATE" 60
  click_button start
  if [ $# -eq 0 ]; then set -- box=3 close; fi
  watch "$log" "$@"
}

temp_dir=$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_dir=$("$WINE" winepath -u "$temp_dir" 2>/dev/null | tr -d '\r')

echo "# no copies yet: kvo00.exe written and started, temporary files cleared"
game_install
mkdir -p "$temp_dir"
for f in KVO1A2B.tmp kvo3c.tmp other.tmp; do echo partial > "$temp_dir/$f"; done
log=$E2E_WORK/first.log
start_game "$dir" "$log"
check "kvo00.exe started through the plug-in" has_line "$dir/plugin_calls.txt" "launch kvo00.exe"
check "kvo00.exe is the game" same_file "$dir/mainclient.exe" "$dir/kvo00.exe"
check "no message box" has_line "$log" "box: none"
check "KVO1A2B.tmp cleared" missing "$temp_dir/KVO1A2B.tmp"
check "kvo3c.tmp cleared" missing "$temp_dir/kvo3c.tmp"
check "other.tmp kept" present "$temp_dir/other.tmp"
stop_all

echo "# kvo00.exe running: kvo01.exe written and started, kvo00.exe left alone"
game_install
cp "$BUILD_WIN/fakegame.exe" "$dir/kvo00.exe"
printf 'older build' >> "$dir/kvo00.exe"
cp "$dir/kvo00.exe" "$E2E_WORK/kvo00.before"
run_bg "$dir" kvo00.exe 120
for _ in $(seq 100); do grep -q kvo00.exe "$dir/game_ran.txt" 2>/dev/null && break; sleep 0.1; done
log=$E2E_WORK/locked.log
start_game "$dir" "$log"
check "kvo01.exe started through the plug-in" has_line "$dir/plugin_calls.txt" "launch kvo01.exe"
check "kvo01.exe is the game" same_file "$dir/mainclient.exe" "$dir/kvo01.exe"
check "the running kvo00.exe untouched" same_file "$E2E_WORK/kvo00.before" "$dir/kvo00.exe"
stop_all

echo "# the loose mainclient.exe wins over the pack's; without it the pack's is used"
game_install "$PACKED_GAME"
log=$E2E_WORK/pack.log
start_game "$dir" "$log"
check "loose mainclient.exe used" same_file "$dir/mainclient.exe" "$dir/kvo00.exe"
stop_all
rm "$dir/mainclient.exe"
start_game "$dir" "$log"
check "the pack's mainclient.exe used" same_file "$PACKED_GAME/mainclient.exe" "$dir/kvo00.exe"
check "no message box" lacks_line_starting "$log" "box: 错误"
stop_all

echo "# no game executable anywhere"
game_install
rm "$dir/mainclient.exe"
log=$E2E_WORK/nogame.log
start_game "$dir" "$log" box=10 box=10
check "the data error message is shown" has_line "$log" "$BOX_DATA_ERROR"
check "then the launch failure" has_text "$log" "|最终的游戏启动过程失败！|"
check "nothing started" test "$(grep -c '^launch' "$dir/plugin_calls.txt")" = 0
check "no copy written" missing "$dir/kvo00.exe"
stop_all

echo "# the reference plug-in starts the game from the installation directory"
up_to_date_install "$GAME"
cp "$BUILD_WIN/fakegame.exe" "$dir/mainclient.exe"
log=$E2E_WORK/reference.log
start_game "$dir" "$log"
for _ in $(seq 100); do [ -s "$dir/game_ran.txt" ] && break; sleep 0.1; done
check "kvo00.exe ran" has_line "$dir/game_ran.txt" "kvo00.exe"
stop_all

finish
