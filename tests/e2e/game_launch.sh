#!/usr/bin/env bash
# Game launch from the updater's window under Wine: the numbered copy of the game
# executable, a copy that is running, the pack's member against a loose one, the
# downloads' temporary files, a missing game, and the reference plug-in starting the game.
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

START_GAME=101
BOX_DATA_ERROR='box: 错误|patch.dat数据错误|icon=0'
MAKEPACK=${BUILD_HOST:-$BUILD_WIN/../../host/bin}/makepack

same_file() { cmp -s "$1" "$2"; }
present() { [ -e "$1" ]; }
missing() { [ ! -e "$1" ]; }

# An installation with the recording plug-in and the stand-in game as mainclient.exe.
game_install() {
  local dir
  dir=$(new_install)
  cp "$BUILD_WIN/recordcfg.dll" "$dir/updatecfg.dll"
  cp "$BUILD_WIN/fakegame.exe" "$dir/mainclient.exe"
  echo "$dir"
}

# Starts the updater and presses its start-game button: start_game DIR LOG
start_game() {
  run_bg "$1" update.exe
  watch "$2" window=30 click=$START_GAME box=3 close
}

temp_dir=$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp_dir=$("$WINE" winepath -u "$temp_dir" 2>/dev/null | tr -d '\r')

echo "# no copies yet: kvo00.exe written and started, temporary files cleared"
dir=$(game_install)
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
dir=$(game_install)
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
if [ -x "$MAKEPACK" ]; then
  dir=$(game_install)
  mkdir "$dir/src"
  cp "$BUILD_WIN/fakegame.exe" "$dir/src/mainclient.exe"
  printf 'packed build' >> "$dir/src/mainclient.exe"
  printf 'src\r\nmainclient.exe\r\n' > "$dir/list.txt"
  (cd "$dir" && "$MAKEPACK" list.txt patch.dat)
  log=$E2E_WORK/pack.log
  start_game "$dir" "$log"
  check "loose mainclient.exe used" same_file "$dir/mainclient.exe" "$dir/kvo00.exe"
  stop_all
  rm "$dir/mainclient.exe"
  start_game "$dir" "$log"
  check "the pack's mainclient.exe used" same_file "$dir/src/mainclient.exe" "$dir/kvo00.exe"
  check "no message box" lacks_line_starting "$log" "box: 错误"
  stop_all
else
  echo "FAIL - $MAKEPACK missing (scripts/build.sh host)"
  E2E_FAILURES=$((E2E_FAILURES + 1))
fi

echo "# no game executable anywhere"
dir=$(game_install)
rm "$dir/mainclient.exe"
printf 'not a pack' > "$dir/patch.dat"
log=$E2E_WORK/nogame.log
start_game "$dir" "$log"
check "the data error message is shown" has_line "$log" "$BOX_DATA_ERROR"
check "nothing started" test "$(grep -c '^launch' "$dir/plugin_calls.txt")" = 0
check "no copy written" missing "$dir/kvo00.exe"
stop_all

echo "# the reference plug-in starts the game from the installation directory"
dir=$(new_install)
cp "$BUILD_WIN/fakegame.exe" "$dir/mainclient.exe"
log=$E2E_WORK/reference.log
start_game "$dir" "$log"
for _ in $(seq 100); do [ -s "$dir/game_ran.txt" ] && break; sleep 0.1; done
check "kvo00.exe ran" has_line "$dir/game_ran.txt" "kvo00.exe"
stop_all

finish
